#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace tessik {

// One item written to a pasteboard: type identifier -> bytes. Texts are
// held as their UTF-8 bytes.
using PasteboardItem = QMap<QString, QByteArray>;

// The type identifiers the application reads and writes, and the MIME types
// they stand for on this platform.
namespace PasteboardType {

inline const QString utf8PlainText = QStringLiteral("public.utf8-plain-text");
inline const QString rtf = QStringLiteral("public.rtf");
inline const QString html = QStringLiteral("public.html");
inline const QString png = QStringLiteral("public.png");
inline const QString jpeg = QStringLiteral("public.jpeg");
inline const QString gif = QStringLiteral("public.gif");
inline const QString compuserveGif = QStringLiteral("com.compuserve.gif");

// Marks written by password managers on content that must not be recorded:
// the KDE hint (whose content is "secret") and the concealed type.
inline const QString passwordManagerHint = QStringLiteral("x-kde-passwordManagerHint");
inline const QString concealed = QStringLiteral("application/x-nspasteboard-concealed-type");

// MIME types under which data for `typeIdentifier` is read, preferred
// first. An identifier without a mapping is taken as a MIME type itself.
QStringList mimeTypesForReading(const QString& typeIdentifier);
// The MIME type under which data for `typeIdentifier` is written.
QString mimeTypeForWriting(const QString& typeIdentifier);

} // namespace PasteboardType

// The system clipboard as the capture and paste-back code needs it.
//
// Reads return what the pasteboard holds now; writes replace the whole
// content and make changeCount() grow. All calls belong to the main thread.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Grows with every change of the content, by this process or another.
    // Cheap: polling it must not read the content.
    virtual qint64 changeCount() const = 0;

    // Every URL offered (file locations and others), in order.
    virtual QList<QUrl> urls() const = 0;
    // The first URL offered, if any.
    std::optional<QUrl> url() const;
    // The image object offered (decoded by the platform), if any.
    virtual std::optional<QImage> image() const = 0;
    // The text offered (the UTF-8 plain-text data), if any. An empty text
    // is a text.
    std::optional<QString> string() const;
    // The bytes offered for a type identifier, if that type is offered (the
    // bytes may be empty).
    virtual std::optional<QByteArray> data(const QString& typeIdentifier) const = 0;

    // Replaces the content with `items`; an empty list clears it.
    virtual void setItems(const QList<PasteboardItem>& items) = 0;
    virtual void setURLs(const QList<QUrl>& urls) = 0;
    virtual void setImage(const QImage& image) = 0;
    virtual void setString(const QString& text) = 0;
    void setData(const QByteArray& bytes, const QString& typeIdentifier) {
        setItems({PasteboardItem{{typeIdentifier, bytes}}});
    }
    void clear() { setItems({}); }

    // The system clipboard. Needs a QGuiApplication; the object lives as
    // long as the application.
    static Pasteboard& general();
};

} // namespace tessik
