#include "Pasteboard.h"

namespace tessik::PasteboardType {

QStringList mimeTypesForReading(const QString& typeIdentifier) {
    if (typeIdentifier == utf8PlainText) {
        return {QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain")};
    }
    if (typeIdentifier == rtf) {
        return {QStringLiteral("text/rtf"), QStringLiteral("application/rtf")};
    }
    return {mimeTypeForWriting(typeIdentifier)};
}

QString mimeTypeForWriting(const QString& typeIdentifier) {
    if (typeIdentifier == utf8PlainText) {
        return QStringLiteral("text/plain;charset=utf-8");
    }
    if (typeIdentifier == rtf) {
        return QStringLiteral("text/rtf");
    }
    if (typeIdentifier == html) {
        return QStringLiteral("text/html");
    }
    if (typeIdentifier == png) {
        return QStringLiteral("image/png");
    }
    if (typeIdentifier == jpeg) {
        return QStringLiteral("image/jpeg");
    }
    if (typeIdentifier == gif || typeIdentifier == compuserveGif) {
        return QStringLiteral("image/gif");
    }
    return typeIdentifier;
}

} // namespace tessik::PasteboardType

namespace tessik {

std::optional<QUrl> Pasteboard::url() const {
    const QList<QUrl> all = urls();
    if (all.isEmpty()) {
        return std::nullopt;
    }
    return all.first();
}

std::optional<QString> Pasteboard::string() const {
    const std::optional<QByteArray> bytes = data(PasteboardType::utf8PlainText);
    if (!bytes) {
        return std::nullopt;
    }
    return QString::fromUtf8(*bytes);
}

} // namespace tessik
