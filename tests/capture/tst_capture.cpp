#include "ImageFixtures.h"
#include "TestEnvironment.h"
#include "capture/ClipCaptureService.h"
#include "capture/ClipPersistence.h"
#include "capture/ImageAttachmentWriter.h"
#include "platform/AppPaths.h"
#include "platform/InMemoryPasteboard.h"
#include "platform/NotificationCenter.h"
#include "store/ClipStore.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace tessik;
using Content = InMemoryPasteboard::Content;

namespace {

const QRegularExpression kStem(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"));

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

Content textContent(const QString& text) {
    return Content{{PasteboardItem{{PasteboardType::utf8PlainText, text.toUtf8()}}}, {}, std::nullopt};
}

Content imageContent(const QByteArray& png) {
    return Content{{PasteboardItem{{PasteboardType::png, png}}}, {}, std::nullopt};
}

} // namespace

class TestCapture : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    QString m_attachments;
    std::shared_ptr<ClipStore> m_store;
    TimePoint m_storeTime = 1'800'000'000.0;
    int m_posts = 0;
    int m_round = 0;

    QString path(const QString& name) const { return m_attachments + QLatin1Char('/') + name; }

private Q_SLOTS:
    void initTestCase() {
        m_env = std::make_unique<TestEnvironment>();
        NotificationCenter::defaultCenter().addObserver(NotificationCenter::clipStoreDidChange, this,
                                                        [this] { ++m_posts; });
    }

    void init() {
        m_attachments = m_env->root() + QStringLiteral("/attachments-") + QString::number(++m_round);
        QVERIFY(QDir().mkpath(m_attachments));
        QFile::remove(m_env->root() + QStringLiteral("/clips.sqlite"));
        m_store = std::make_shared<ClipStore>(m_env->root() + QStringLiteral("/clips.sqlite"), 500,
                                              QList<Migration>{}, [this] { return m_storeTime; });
        m_posts = 0;
    }

    void cleanup() { m_store.reset(); }

    // --- image attachments ---

    void imageAttachments_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QSize>("thumbnailSize");  // invalid: no thumbnail
        QTest::addColumn<QColor>("thumbnailColour");

        QTest::newRow("GIF keeps its name, first frame as thumbnail")
            << ImageFixtures::twoFrameGif() << "gif" << QSize(2, 2) << QColor(Qt::red);
        QTest::newRow("JPEG bytes stored under png unchanged")
            << ImageFixtures::jpeg({4, 3}, Qt::blue) << "png" << QSize(4, 3) << QColor(Qt::blue);
        QTest::newRow("PNG at full size")
            << ImageFixtures::png({300, 200}, Qt::green) << "png" << QSize(300, 200) << QColor(Qt::green);
        QTest::newRow("transparent PNG laid on white")
            << ImageFixtures::png({3, 3}, Qt::transparent) << "png" << QSize(3, 3) << QColor(Qt::white);
        QTest::newRow("undecodable bytes, no thumbnail")
            << QByteArray("not an image at all") << "png" << QSize() << QColor();
        QTest::newRow("GIF header alone, no thumbnail")
            << QByteArray("GIF8") << "gif" << QSize() << QColor();
    }

    void imageAttachments() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, extension);
        QFETCH(QSize, thumbnailSize);
        QFETCH(QColor, thumbnailColour);

        const ImageAttachmentWriter::SavedImage saved = ImageAttachmentWriter::save(bytes, m_attachments);
        QVERIFY(saved.imagePath);
        const QString stem = kStem.match(*saved.imagePath).captured();
        QVERIFY2(!stem.isEmpty(), qPrintable(*saved.imagePath));
        QCOMPARE(*saved.imagePath, stem + QLatin1Char('.') + extension);
        QCOMPARE(fileBytes(path(*saved.imagePath)), bytes);

        if (!thumbnailSize.isValid()) {
            QCOMPARE(saved.thumbnailPath, std::nullopt);
            QCOMPARE(filesIn(m_attachments), QStringList{*saved.imagePath});
            return;
        }
        QCOMPARE(saved.thumbnailPath, stem + QStringLiteral("_thumb.jpg"));
        QImageReader reader(path(*saved.thumbnailPath));
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage thumbnail = reader.read();
        QCOMPARE(thumbnail.size(), thumbnailSize);
        const QColor pixel = thumbnail.pixelColor(thumbnail.width() - 1, thumbnail.height() - 1);
        // JPEG is lossy: close enough to the colour is right.
        QVERIFY2(qAbs(pixel.red() - thumbnailColour.red()) < 24 &&
                     qAbs(pixel.green() - thumbnailColour.green()) < 24 &&
                     qAbs(pixel.blue() - thumbnailColour.blue()) < 24,
                 qPrintable(pixel.name()));
    }

    void imageWriteFailureLeavesNoNames() {
        // Tests run as root, so a read-only folder would not stop the write:
        // the "folder" is a regular file instead.
        const QString notAFolder = m_env->root() + QStringLiteral("/plain-file");
        QFile file(notAFolder);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(ImageAttachmentWriter::save(ImageFixtures::png(), notAFolder),
                 ImageAttachmentWriter::SavedImage{});
    }

    // --- persistence ---

    void persistKinds_data() {
        QTest::addColumn<CapturedClip>("clip");
        QTest::addColumn<bool>("rich");
        QTest::addColumn<bool>("image");

        const QUrl file = QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt"));
        QTest::newRow("text") << CapturedClip::fromText(QStringLiteral("hello")) << false << false;
        QTest::newRow("rich text") << CapturedClip::fromText(QStringLiteral("b"), QByteArray("{\\rtf1 b}"))
                                   << true << false;
        QTest::newRow("rich data only") << CapturedClip::fromRichDataOnly("<i>x</i>") << true << false;
        QTest::newRow("image") << CapturedClip::fromImageData(ImageFixtures::png()) << false << true;
        QTest::newRow("files") << CapturedClip::fromFileURLs({file}) << false << false;
    }

    void persistKinds() {
        QFETCH(CapturedClip, clip);
        QFETCH(bool, rich);
        QFETCH(bool, image);

        QVERIFY(ClipPersistence::persist(clip, *m_store, m_attachments, 1'700'000'123.5));
        QCOMPARE(m_posts, 1);
        const QList<ClipItem> stored = m_store->fetchRecent(10);
        QCOMPARE(stored.size(), 1);
        const ClipItem& item = stored.first();
        QVERIFY(!item.id.isNull());
        QCOMPARE(item.createdAt, 1'700'000'123.5);
        QCOMPARE(item.deviceId, AppPaths::deviceId());
        QCOMPARE(item.contentType, clip.contentType);
        QCOMPARE(item.plainText, clip.plainText);
        QCOMPARE(item.contentHash, clip.contentHash);
        QCOMPARE(item.byteSize, clip.byteSize);
        QVERIFY(!item.isPinned);
        QCOMPARE(item.sourceAppName, std::nullopt);

        QCOMPARE(item.richTextPath.has_value(), rich);
        if (rich) {
            QVERIFY(kStem.match(*item.richTextPath).hasMatch());
            QVERIFY(item.richTextPath->endsWith(QLatin1String(".rtf")));
            QCOMPARE(fileBytes(path(*item.richTextPath)), *clip.richTextData);
        }
        QCOMPARE(item.imagePath.has_value(), image);
        QCOMPARE(item.thumbnailPath.has_value(), image);
        if (image) {
            QCOMPARE(fileBytes(path(*item.imagePath)), *clip.imageData);
            QVERIFY(QFile::exists(path(*item.thumbnailPath)));
        }
        QCOMPARE(filesIn(m_attachments).size(), int(rich) + 2 * int(image));
    }

    void duplicateLeavesNoOrphanFiles() {
        const CapturedClip rich = CapturedClip::fromText(QStringLiteral("b"), QByteArray("{\\rtf1 b}"));
        const CapturedClip image = CapturedClip::fromImageData(ImageFixtures::png());
        QVERIFY(ClipPersistence::persist(rich, *m_store, m_attachments, 1.0));
        QVERIFY(ClipPersistence::persist(image, *m_store, m_attachments, 2.0));
        const QStringList before = filesIn(m_attachments);
        QCOMPARE(before.size(), 3);

        m_storeTime += 30;  // inside the store's 60-second window
        QVERIFY(!ClipPersistence::persist(rich, *m_store, m_attachments, 3.0));
        QVERIFY(!ClipPersistence::persist(image, *m_store, m_attachments, 4.0));
        QCOMPARE(filesIn(m_attachments), before);
        QCOMPARE(m_store->fetchRecent(10).size(), 2);
        QCOMPARE(m_posts, 2);
    }

    void failedInsertLeavesNoOrphanFiles() {
        m_store->dbQueue().write([](sqlite::Connection& db) { db.execute(QStringLiteral("DROP TABLE clip_items")); });
        const CapturedClip image = CapturedClip::fromImageData(ImageFixtures::png());
        QVERIFY_THROWS_EXCEPTION(Error, ClipPersistence::persist(image, *m_store, m_attachments, 1.0));
        QCOMPARE(filesIn(m_attachments), QStringList());
        QCOMPARE(m_posts, 0);
    }

    void attachmentWriteFailureStoresClipWithoutPaths() {
        const QString notAFolder = m_env->root() + QStringLiteral("/plain-file");
        QFile file(notAFolder);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(ClipPersistence::persist(CapturedClip::fromImageData(ImageFixtures::png()), *m_store,
                                         notAFolder, 1.0));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ClipPersistence rich text write failed")));
        QVERIFY(ClipPersistence::persist(CapturedClip::fromText(QStringLiteral("t"), QByteArray("{\\rtf1 t}")),
                                         *m_store, notAFolder, 2.0));
        const QList<ClipItem> stored = m_store->fetchRecent(10);
        QCOMPARE(stored.size(), 2);
        for (const ClipItem& item : stored) {
            QCOMPARE(item.richTextPath, std::nullopt);
            QCOMPARE(item.imagePath, std::nullopt);
            QCOMPARE(item.thumbnailPath, std::nullopt);
        }
        QCOMPARE(stored.at(0).contentType, ContentType::richText);
        QCOMPARE(stored.at(1).contentType, ContentType::image);
    }

    // --- capture service ---

    void serviceCapturesThroughTheStore() {
        InMemoryPasteboard pasteboard;
        pasteboard.copyFromOtherProgram(textContent(QStringLiteral("before start")));
        ClipCaptureService service(m_store, pasteboard, 0.01, m_attachments);
        service.start();

        pasteboard.copyFromOtherProgram(textContent(QStringLiteral("same")));
        QTRY_COMPARE(m_store->fetchRecent(10).size(), 1);
        pasteboard.copyFromOtherProgram(textContent(QStringLiteral("same")));  // dropped by the store
        pasteboard.copyFromOtherProgram(imageContent(ImageFixtures::png()));
        QTRY_COMPARE(m_store->fetchRecent(10).size(), 2);
        pasteboard.copyFromOtherProgram(Content{{PasteboardItem{{PasteboardType::utf8PlainText, "pw"},
                                                                {PasteboardType::passwordManagerHint, "secret"}}},
                                                {}, std::nullopt});
        pasteboard.copyFromOtherProgram(imageContent(ImageFixtures::png()));  // a repeat
        service.refreshFromPasteboard();
        QTest::qWait(50);
        service.stop();

        const QList<ClipItem> stored = m_store->fetchRecent(10);
        QCOMPARE(stored.size(), 2);
        QCOMPARE(stored.at(0).contentType, ContentType::image);
        QCOMPARE(stored.at(1).plainText, QStringLiteral("same"));
        QCOMPARE(filesIn(m_attachments).size(), 2);  // one image and its thumbnail
        QCOMPARE(m_posts, 2);

        service.refreshFromPasteboard();  // "before start" is gone; the image is a duplicate
        m_storeTime += 61;
        service.refreshFromPasteboard();  // outside the window: recorded again
        QCOMPARE(m_store->fetchRecent(10).size(), 3);
    }

    void serviceLogsStoreErrorsAndGoesOn() {
        InMemoryPasteboard pasteboard;
        ClipCaptureService service(m_store, pasteboard, 0.35, m_attachments);
        m_store->dbQueue().write([](sqlite::Connection& db) {
            db.execute(QStringLiteral("ALTER TABLE clip_items RENAME TO gone"));
        });
        pasteboard.copyFromOtherProgram(imageContent(ImageFixtures::png()));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ClipCaptureService insert error: .*clip_items")));
        service.monitor().poll();
        QCOMPARE(filesIn(m_attachments), QStringList());
        QCOMPARE(m_posts, 0);

        m_store->dbQueue().write([](sqlite::Connection& db) {
            db.execute(QStringLiteral("ALTER TABLE gone RENAME TO clip_items"));
        });
        pasteboard.copyFromOtherProgram(textContent(QStringLiteral("next")));
        service.monitor().poll();
        QCOMPARE(m_store->fetchRecent(10).size(), 1);
    }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
