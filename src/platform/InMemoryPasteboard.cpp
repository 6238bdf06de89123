#include "InMemoryPasteboard.h"

namespace tessik {

std::optional<QByteArray> InMemoryPasteboard::data(const QString& typeIdentifier) const {
    for (const PasteboardItem& item : m_content.items) {
        const auto found = item.constFind(typeIdentifier);
        if (found != item.constEnd()) {
            return *found;
        }
    }
    return std::nullopt;
}

void InMemoryPasteboard::write(const QString& operation, Content content) {
    m_content = std::move(content);
    ++m_changeCount;
    m_writes.append(Write{operation, m_content});
}

void InMemoryPasteboard::setItems(const QList<PasteboardItem>& items) {
    write(QStringLiteral("setItems"), Content{items, {}, std::nullopt});
}

void InMemoryPasteboard::setURLs(const QList<QUrl>& urls) {
    write(QStringLiteral("setURLs"), Content{{}, urls, std::nullopt});
}

void InMemoryPasteboard::setImage(const QImage& image) {
    write(QStringLiteral("setImage"), Content{{}, {}, image});
}

void InMemoryPasteboard::setString(const QString& text) {
    write(QStringLiteral("setString"),
          Content{{PasteboardItem{{PasteboardType::utf8PlainText, text.toUtf8()}}}, {}, std::nullopt});
}

void InMemoryPasteboard::copyFromOtherProgram(const Content& content) {
    m_content = content;
    ++m_changeCount;
}

} // namespace tessik
