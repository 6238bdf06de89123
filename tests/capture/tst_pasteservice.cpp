#include "ImageFixtures.h"
#include "capture/PasteService.h"
#include "capture/PasteboardMonitor.h"
#include "platform/InMemoryPasteboard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tessik;
using Content = InMemoryPasteboard::Content;
using Files = QMap<QString, QByteArray>;

Q_DECLARE_METATYPE(tessik::InMemoryPasteboard::Content)
Q_DECLARE_METATYPE(tessik::ClipItem)

namespace {

ClipItem clip(ContentType type, std::optional<QString> text, std::optional<QString> richTextPath = {},
              std::optional<QString> imagePath = {}) {
    return ClipItem{QUuid::createUuid(), 1.0,          QStringLiteral("DEVICE"), type,  std::move(text),
                    std::move(richTextPath), std::move(imagePath), std::nullopt, std::nullopt,
                    std::nullopt,            false,        QString(64, QLatin1Char('0')), 1};
}

Content items(const PasteboardItem& item) {
    return Content{{item}, {}, std::nullopt};
}

} // namespace

class TestPasteService : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void copyBack_data() {
        QTest::addColumn<ClipItem>("item");
        QTest::addColumn<Files>("files");
        QTest::addColumn<bool>("plainOnly");
        QTest::addColumn<Content>("expected");
        QTest::addColumn<QStringList>("writes");

        const QByteArray rtf = "{\\rtf1\\ansi {\\b bold}}";
        const QByteArray html = "<meta charset=utf-8><b>bold</b>";
        const QByteArray png = ImageFixtures::png({2, 2}, Qt::red);
        const QByteArray gif = ImageFixtures::twoFrameGif();
        const QByteArray boldUtf8 = "bold";
        const QStringList clearThen{QStringLiteral("setItems"), QStringLiteral("setItems")};
        const QStringList clearOnly{QStringLiteral("setItems")};

        QTest::newRow("rich text: RTF and text in one item")
            << clip(ContentType::richText, QStringLiteral("bold"), QStringLiteral("R.rtf"))
            << Files{{QStringLiteral("R.rtf"), rtf}} << false
            << items({{PasteboardType::rtf, rtf}, {PasteboardType::utf8PlainText, boldUtf8}}) << clearThen;
        QTest::newRow("rich text captured as HTML goes back as HTML")
            << clip(ContentType::richText, QStringLiteral("bold"), QStringLiteral("H.rtf"))
            << Files{{QStringLiteral("H.rtf"), html}} << false
            << items({{PasteboardType::html, html}, {PasteboardType::utf8PlainText, boldUtf8}}) << clearThen;
        QTest::newRow("rich text file missing: text alone")
            << clip(ContentType::richText, QStringLiteral("bold"), QStringLiteral("gone.rtf")) << Files{}
            << false << items({{PasteboardType::utf8PlainText, boldUtf8}}) << clearThen;
        QTest::newRow("rich text as plain text")
            << clip(ContentType::richText, QStringLiteral("bold"), QStringLiteral("R.rtf"))
            << Files{{QStringLiteral("R.rtf"), rtf}} << true
            << items({{PasteboardType::utf8PlainText, boldUtf8}})
            << QStringList{QStringLiteral("setItems"), QStringLiteral("setString")};
        QTest::newRow("plain only of an image clip leaves it empty")
            << clip(ContentType::image, std::nullopt, std::nullopt, QStringLiteral("I.png"))
            << Files{{QStringLiteral("I.png"), png}} << true << Content{} << clearOnly;
        QTest::newRow("plain only of an empty text leaves it empty")
            << clip(ContentType::plainText, QString()) << Files{} << true << Content{} << clearOnly;
        QTest::newRow("empty text in full is still offered")
            << clip(ContentType::plainText, QString()) << Files{} << false
            << items({{PasteboardType::utf8PlainText, QByteArray()}}) << clearThen;
        QTest::newRow("PNG image as image object")
            << clip(ContentType::image, std::nullopt, std::nullopt, QStringLiteral("I.png"))
            << Files{{QStringLiteral("I.png"), png}} << false
            << Content{{}, {}, QImage::fromData(png)}
            << QStringList{QStringLiteral("setItems"), QStringLiteral("setImage")};
        QTest::newRow("GIF goes back under the GIF type")
            << clip(ContentType::image, std::nullopt, std::nullopt, QStringLiteral("G.GIF"))
            << Files{{QStringLiteral("G.GIF"), gif}} << false
            << items({{PasteboardType::compuserveGif, gif}}) << clearThen;
        QTest::newRow("missing image file falls through to nothing")
            << clip(ContentType::image, std::nullopt, std::nullopt, QStringLiteral("gone.png")) << Files{}
            << false << Content{} << clearOnly;
        QTest::newRow("missing GIF falls through to the text")
            << clip(ContentType::image, QStringLiteral("caption"), std::nullopt, QStringLiteral("gone.gif"))
            << Files{} << false << items({{PasteboardType::utf8PlainText, "caption"}}) << clearThen;
        QTest::newRow("undecodable image falls through")
            << clip(ContentType::image, std::nullopt, std::nullopt, QStringLiteral("bad.png"))
            << Files{{QStringLiteral("bad.png"), "garbage"}} << false << Content{} << clearOnly;
        QTest::newRow("attachment names never leave the folder")
            << clip(ContentType::richText, QStringLiteral("t"), QStringLiteral("../outside.rtf"))
            << Files{} << false << items({{PasteboardType::utf8PlainText, "t"}}) << clearThen;
        QTest::newRow("files that are gone still go back as URLs")
            << clip(ContentType::file, QStringLiteral("/nowhere/a.pdf\n\n/nowhere/b c.txt")) << Files{} << false
            << Content{{},
                       {QUrl::fromLocalFile(QStringLiteral("/nowhere/a.pdf")),
                        QUrl::fromLocalFile(QStringLiteral("/nowhere/b c.txt"))},
                       std::nullopt}
            << QStringList{QStringLiteral("setItems"), QStringLiteral("setURLs")};
        QTest::newRow("file clip without paths falls through to text")
            << clip(ContentType::file, QStringLiteral("\n")) << Files{} << false
            << items({{PasteboardType::utf8PlainText, "\n"}}) << clearThen;
    }

    void copyBack() {
        QFETCH(ClipItem, item);
        QFETCH(Files, files);
        QFETCH(bool, plainOnly);
        QFETCH(Content, expected);
        QFETCH(QStringList, writes);

        const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(':'), QLatin1Char('_')));
        QVERIFY(QDir().mkpath(folder));
        QFile outside(m_dir.filePath(QStringLiteral("outside.rtf")));
        QVERIFY(outside.open(QIODevice::WriteOnly));
        outside.write("{\\rtf1 must not be read}");
        outside.close();
        for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
            QFile file(folder + QLatin1Char('/') + it.key());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(it.value());
        }

        InMemoryPasteboard pasteboard;
        pasteboard.copyFromOtherProgram(items({{PasteboardType::utf8PlainText, "previous"}}));
        PasteService::copy(item, plainOnly, pasteboard, folder);
        QCOMPARE(pasteboard.content(), expected);
        QStringList operations;
        for (const auto& write : pasteboard.writeLog()) {
            operations.append(write.operation);
        }
        QCOMPARE(operations, writes);
        QVERIFY(pasteboard.writeLog().first().content.isEmpty());  // cleared first
    }

    void ownWriteIsNotRecorded() {
        InMemoryPasteboard pasteboard;
        PasteboardMonitor monitor(pasteboard);
        int captured = 0;
        monitor.onCapture = [&](const CapturedClip&) { ++captured; };
        PasteService::copyToPasteboard(clip(ContentType::plainText, QStringLiteral("mine")), pasteboard,
                                       m_dir.path());
        PasteService::copyPlainToPasteboard(clip(ContentType::plainText, QStringLiteral("mine too")), pasteboard);
        monitor.poll();
        QCOMPARE(captured, 0);
        QCOMPARE(monitor.lastChangeCount(), pasteboard.changeCount());
        QTest::qWait(900);  // the window has closed; nothing changed since
        monitor.poll();
        QCOMPARE(captured, 0);
    }
};

QTEST_MAIN(TestPasteService)
#include "tst_pasteservice.moc"
