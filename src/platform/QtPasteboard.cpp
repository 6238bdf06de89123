#include "QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>

namespace tessik {

Pasteboard& Pasteboard::general() {
    // Parented to the application, so it goes when the clipboard does.
    static QPointer<QtPasteboard> instance;
    if (!instance) {
        Q_ASSERT_X(qGuiApp, "Pasteboard::general", "needs a QGuiApplication");
        instance = new QtPasteboard(qGuiApp);
    }
    return *instance;
}

QtPasteboard::QtPasteboard(QObject* parent)
    : QObject(parent), m_clipboard(QGuiApplication::clipboard()) {
    connect(m_clipboard, &QClipboard::dataChanged, this, [this] { ++m_changeCount; });
}

const QMimeData* QtPasteboard::current() const {
    return m_clipboard->mimeData(QClipboard::Clipboard);
}

QList<QUrl> QtPasteboard::urls() const {
    const QMimeData* mime = current();
    if (!mime || !mime->hasUrls()) {
        return {};
    }
    return mime->urls();
}

std::optional<QImage> QtPasteboard::image() const {
    const QMimeData* mime = current();
    if (!mime || !mime->hasImage()) {
        return std::nullopt;
    }
    QImage image = qvariant_cast<QImage>(mime->imageData());
    if (image.isNull()) {
        return std::nullopt;
    }
    return image;
}

std::optional<QByteArray> QtPasteboard::data(const QString& typeIdentifier) const {
    const QMimeData* mime = current();
    if (!mime) {
        return std::nullopt;
    }
    // MIME types compare without regard to case; ask for the spelling the
    // owner offers.
    const QStringList formats = mime->formats();
    for (const QString& type : PasteboardType::mimeTypesForReading(typeIdentifier)) {
        for (const QString& offered : formats) {
            if (offered.compare(type, Qt::CaseInsensitive) == 0) {
                return mime->data(offered);
            }
        }
    }
    return std::nullopt;
}

void QtPasteboard::replace(QMimeData* mime) {
    if (mime) {
        m_clipboard->setMimeData(mime, QClipboard::Clipboard);
    } else {
        m_clipboard->clear(QClipboard::Clipboard);
    }
}

void QtPasteboard::setItems(const QList<PasteboardItem>& items) {
    if (items.isEmpty()) {
        replace(nullptr);
        return;
    }
    auto* mime = new QMimeData;
    for (const PasteboardItem& item : items) {
        for (auto it = item.constBegin(); it != item.constEnd(); ++it) {
            const QString type = PasteboardType::mimeTypeForWriting(it.key());
            if (mime->hasFormat(type)) {
                continue;
            }
            mime->setData(type, it.value());
            if (it.key() == PasteboardType::utf8PlainText) {
                // Plain "text/plain" is what X11 programs ask for (UTF8_STRING).
                mime->setText(QString::fromUtf8(it.value()));
            }
        }
    }
    replace(mime);
}

void QtPasteboard::setURLs(const QList<QUrl>& urls) {
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    replace(mime);
}

void QtPasteboard::setImage(const QImage& image) {
    auto* mime = new QMimeData;
    mime->setImageData(image);
    replace(mime);
}

void QtPasteboard::setString(const QString& text) {
    setItems({PasteboardItem{{PasteboardType::utf8PlainText, text.toUtf8()}}});
}

bool QtPasteboard::ownsContent() const {
    return m_clipboard->ownsClipboard();
}

} // namespace tessik
