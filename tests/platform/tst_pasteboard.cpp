#include "platform/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

using namespace tessik;

// The Qt pasteboard over the clipboard of the offscreen platform, which
// keeps the clipboard inside this process.
class TestPasteboard : public QObject {
    Q_OBJECT

    QClipboard* clipboard() { return QGuiApplication::clipboard(); }

    void offer(std::initializer_list<std::pair<const char*, QByteArray>> formats) {
        auto* mime = new QMimeData;
        for (const auto& [type, bytes] : formats) {
            mime->setData(QString::fromLatin1(type), bytes);
        }
        clipboard()->setMimeData(mime);
    }

private Q_SLOTS:
    void typeIdentifiers_data() {
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QStringList>("read");
        QTest::newRow("text") << PasteboardType::utf8PlainText << "text/plain;charset=utf-8"
                              << QStringList{"text/plain;charset=utf-8", "text/plain"};
        QTest::newRow("rtf") << PasteboardType::rtf << "text/rtf" << QStringList{"text/rtf", "application/rtf"};
        QTest::newRow("html") << PasteboardType::html << "text/html" << QStringList{"text/html"};
        QTest::newRow("png") << PasteboardType::png << "image/png" << QStringList{"image/png"};
        QTest::newRow("jpeg") << PasteboardType::jpeg << "image/jpeg" << QStringList{"image/jpeg"};
        QTest::newRow("gif") << PasteboardType::gif << "image/gif" << QStringList{"image/gif"};
        QTest::newRow("compuserve gif") << PasteboardType::compuserveGif << "image/gif" << QStringList{"image/gif"};
        QTest::newRow("MIME types pass through") << PasteboardType::passwordManagerHint
                                                 << "x-kde-passwordManagerHint"
                                                 << QStringList{"x-kde-passwordManagerHint"};
    }

    void typeIdentifiers() {
        QFETCH(QString, identifier);
        QFETCH(QString, written);
        QFETCH(QStringList, read);
        QCOMPARE(PasteboardType::mimeTypeForWriting(identifier), written);
        QCOMPARE(PasteboardType::mimeTypesForReading(identifier), read);
    }

    void changeCountFollowsTheClipboard() {
        QtPasteboard pasteboard;
        const qint64 start = pasteboard.changeCount();
        clipboard()->setText(QStringLiteral("another program"));
        QCOMPARE(pasteboard.changeCount(), start + 1);
        QCOMPARE(pasteboard.string(), QStringLiteral("another program"));
        QCOMPARE(pasteboard.changeCount(), start + 1);  // reading changes nothing
        pasteboard.clear();
        QCOMPARE(pasteboard.changeCount(), start + 2);
        QCOMPARE(pasteboard.string(), std::nullopt);
        QCOMPARE(pasteboard.data(PasteboardType::png), std::nullopt);
        QVERIFY(pasteboard.urls().isEmpty());
        QCOMPARE(pasteboard.image(), std::nullopt);
    }

    void readsWhatOtherProgramsOffer() {
        QtPasteboard pasteboard;
        offer({{"text/plain", "plain ü"}, {"application/rtf", "{\\rtf1}"}, {"image/gif", "GIF89a"},
               {"x-kde-passwordManagerHint", "secret"}, {"text/html", QByteArray()}});
        QCOMPARE(pasteboard.string(), QStringLiteral("plain ü"));
        QCOMPARE(pasteboard.data(PasteboardType::rtf), QByteArray("{\\rtf1}"));
        QCOMPARE(pasteboard.data(PasteboardType::gif), QByteArray("GIF89a"));
        QCOMPARE(pasteboard.data(PasteboardType::compuserveGif), QByteArray("GIF89a"));
        QCOMPARE(pasteboard.data(PasteboardType::passwordManagerHint), QByteArray("secret"));
        QCOMPARE(pasteboard.data(PasteboardType::html), QByteArray());  // offered, empty
        QCOMPARE(pasteboard.data(PasteboardType::png), std::nullopt);

        offer({{"text/plain;charset=utf-8", "preferred"}, {"text/plain", "fallback"}});
        QCOMPARE(pasteboard.string(), QStringLiteral("preferred"));
    }

    void writesOneItemWithEveryRepresentation() {
        QtPasteboard pasteboard;
        const qint64 start = pasteboard.changeCount();
        pasteboard.setItems({PasteboardItem{{PasteboardType::rtf, "{\\rtf1 b}"},
                                            {PasteboardType::utf8PlainText, "b ü"}},
                             PasteboardItem{{PasteboardType::utf8PlainText, "second item loses"},
                                            {PasteboardType::html, "<b>b</b>"}}});
        QCOMPARE(pasteboard.changeCount(), start + 1);
        const QMimeData* mime = clipboard()->mimeData();
        QVERIFY(mime);
        QCOMPARE(mime->data(QStringLiteral("text/rtf")), QByteArray("{\\rtf1 b}"));
        QCOMPARE(mime->data(QStringLiteral("text/plain;charset=utf-8")), QByteArray("b ü"));
        QCOMPARE(mime->text(), QStringLiteral("b ü"));
        QCOMPARE(mime->data(QStringLiteral("text/html")), QByteArray("<b>b</b>"));
        QCOMPARE(pasteboard.string(), QStringLiteral("b ü"));
    }

    void urlsImagesAndStrings() {
        QtPasteboard pasteboard;
        const QList<QUrl> urls{QUrl::fromLocalFile(QStringLiteral("/tmp/a b.txt")),
                               QUrl(QStringLiteral("https://example.com/"))};
        pasteboard.setURLs(urls);
        QCOMPARE(pasteboard.urls(), urls);
        QCOMPARE(pasteboard.url(), urls.first());
        QVERIFY(clipboard()->mimeData()->hasFormat(QStringLiteral("text/uri-list")));

        QImage image(4, 3, QImage::Format_ARGB32);
        image.fill(Qt::magenta);
        pasteboard.setImage(image);
        QVERIFY(pasteboard.urls().isEmpty());
        const std::optional<QImage> read = pasteboard.image();
        QVERIFY(read);
        QCOMPARE(read->convertToFormat(QImage::Format_ARGB32), image);

        pasteboard.setString(QStringLiteral("文本"));
        QCOMPARE(clipboard()->text(), QStringLiteral("文本"));
        QCOMPARE(pasteboard.image(), std::nullopt);

        pasteboard.setData("GIF89a...", PasteboardType::compuserveGif);
        QCOMPARE(clipboard()->mimeData()->data(QStringLiteral("image/gif")), QByteArray("GIF89a..."));
    }

    void generalIsOneObject() {
        QCOMPARE(&Pasteboard::general(), &Pasteboard::general());
    }
};

QTEST_MAIN(TestPasteboard)
#include "tst_pasteboard.moc"
