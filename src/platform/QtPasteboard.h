#pragma once

#include "platform/Pasteboard.h"

#include <QObject>

class QClipboard;
class QMimeData;

namespace tessik {

// The system clipboard through QClipboard (its Clipboard mode).
//
// The change count is the number of QClipboard::dataChanged signals seen
// since construction, so polling it costs a counter read; the content is
// fetched from the clipboard owner only when a read asks for it. Type
// identifiers map to MIME types as PasteboardType says. A write builds one
// QMimeData holding every representation of the items. Main thread only;
// needs a QGuiApplication for its whole life.
class QtPasteboard : public QObject, public Pasteboard {
    Q_OBJECT
public:
    explicit QtPasteboard(QObject* parent = nullptr);

    qint64 changeCount() const override { return m_changeCount; }

    QList<QUrl> urls() const override;
    std::optional<QImage> image() const override;
    std::optional<QByteArray> data(const QString& typeIdentifier) const override;

    // The system clipboard holds one item: the representations of several
    // items are merged into it, the first item's winning for a type that
    // more than one item offers.
    void setItems(const QList<PasteboardItem>& items) override;
    void setURLs(const QList<QUrl>& urls) override;
    void setImage(const QImage& image) override;
    void setString(const QString& text) override;

    // True while this process is the clipboard's owner (on X11, while it
    // serves the clipboard to other programs).
    bool ownsContent() const;

private:
    const QMimeData* current() const;
    void replace(QMimeData* mime);

    QClipboard* m_clipboard;
    qint64 m_changeCount = 0;
};

} // namespace tessik
