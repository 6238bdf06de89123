#pragma once

#include "platform/Pasteboard.h"

namespace tessik {

// A pasteboard held in memory, for tests and benchmarks: typed data in
// items, URLs and an image object, a change count, and a log of every write
// made through the Pasteboard interface. Not thread-safe.
class InMemoryPasteboard : public Pasteboard {
public:
    // Everything the pasteboard can hold at once.
    struct Content {
        QList<PasteboardItem> items;
        QList<QUrl> urls;
        std::optional<QImage> image;

        bool operator==(const Content&) const = default;
        bool isEmpty() const { return items.isEmpty() && urls.isEmpty() && !image; }
    };

    // One write through the Pasteboard interface: its operation ("setItems",
    // "setURLs", "setImage", "setString") and the content it left.
    struct Write {
        QString operation;
        Content content;
    };

    qint64 changeCount() const override { return m_changeCount; }

    QList<QUrl> urls() const override { return m_content.urls; }
    std::optional<QImage> image() const override { return m_content.image; }
    std::optional<QByteArray> data(const QString& typeIdentifier) const override;

    void setItems(const QList<PasteboardItem>& items) override;
    void setURLs(const QList<QUrl>& urls) override;
    void setImage(const QImage& image) override;
    void setString(const QString& text) override;

    // Another program copies `content`: the content is replaced and the
    // change count grows, without an entry in the write log.
    void copyFromOtherProgram(const Content& content);
    // A change of the count without new content (a program that re-offers
    // the same data).
    void touch() { ++m_changeCount; }

    const Content& content() const { return m_content; }
    const QList<Write>& writeLog() const { return m_writes; }

private:
    void write(const QString& operation, Content content);

    Content m_content;
    qint64 m_changeCount = 0;
    QList<Write> m_writes;
};

} // namespace tessik
