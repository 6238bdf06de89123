// The capture service and the paste service on a real X11 clipboard: a
// private Xvfb (started and stopped by this program, by its PID), the Qt
// pasteboard, and xclip and a helper as the other programs.
#include "ImageFixtures.h"
#include "TestEnvironment.h"
#include "XvfbServer.h"
#include "capture/ClipCaptureService.h"
#include "capture/ContentHasher.h"
#include "capture/PasteService.h"
#include "platform/AppPaths.h"
#include "platform/QtPasteboard.h"
#include "platform/Uuid.h"
#include "store/ClipStore.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>


#include <memory>

using namespace tessik;

namespace {

bool xclipMissing() {
    return QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty();
}

XvfbServer* g_server = nullptr;
TestEnvironment* g_env = nullptr;

} // namespace

class TestRealClipboard : public QObject {
    Q_OBJECT

    std::shared_ptr<ClipStore> m_store;
    std::unique_ptr<ClipCaptureService> m_service;
    QList<QProcess*> m_programs;  // other programs holding the clipboard
    int m_files = 0;

    QtPasteboard& pasteboard() { return static_cast<QtPasteboard&>(Pasteboard::general()); }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), g_server->display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return env;
    }

    QString file(const QByteArray& bytes) {
        const QString path = g_env->root() + QStringLiteral("/offer-%1").arg(++m_files);
        QFile out(path);
        if (out.open(QIODevice::WriteOnly)) {
            out.write(bytes);
        }
        return path;
    }

    // Starts a program that takes the clipboard over and serves it in the
    // foreground; it is stopped (by PID) in cleanup() if still running.
    QProcess* offer(const QString& program, const QStringList& args) {
        auto* process = new QProcess(this);
        process->setProcessEnvironment(environment());
        process->setStandardOutputFile(QProcess::nullDevice());
        if (program == QLatin1String("xclip")) {
            process->setStandardErrorFile(QProcess::nullDevice());  // its -quiet chatter
        } else {
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        }
        process->start(program, args);
        m_programs.append(process);
        return process;
    }

    QProcess* xclip(const QByteArray& bytes, const QString& target = QString()) {
        QStringList args{QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard")};
        if (!target.isEmpty()) {
            args << QStringLiteral("-t") << target;
        }
        return offer(QStringLiteral("xclip"), args << QStringLiteral("-i") << file(bytes));
    }

    QProcess* offerTogether(const QList<std::pair<QString, QByteArray>>& formats) {
        QStringList args;
        for (const auto& [type, bytes] : formats) {
            args.append(type + QLatin1Char('=') + file(bytes));
        }
        return offer(qEnvironmentVariable("TESSIK_BIN_DIR") + QStringLiteral("/clipboard_offer"), args);
    }

    QByteArray readBack(const QString& target = QString()) {
        QProcess process;
        process.setProcessEnvironment(environment());
        QStringList args{QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")};
        if (!target.isEmpty()) {
            args << QStringLiteral("-t") << target;
        }
        process.start(QStringLiteral("xclip"), args);
        // This process may be the clipboard's owner: keep its event loop
        // running so it can answer xclip's request.
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000)) {
            process.kill();
            process.waitForFinished();
            return "<xclip -o timed out>";
        }
        return process.readAllStandardOutput();
    }

    // Waits until the clipboard changed after `before` and the monitor has
    // handled the newest change.
    bool handledAfter(qint64 before) {
        const auto handled = [&] {
            return pasteboard().changeCount() > before &&
                   m_service->monitor().lastChangeCount() == pasteboard().changeCount();
        };
        return QTest::qWaitFor(handled, 10000);
    }

    QList<ClipItem> history() { return m_store->fetchRecent(100); }

    QStringList attachments() {
        return QDir(AppPaths::attachmentsDirectory()).entryList(QDir::Files, QDir::Name);
    }

    QByteArray attachment(const QString& name) {
        QFile in(AppPaths::attachmentsDirectory() + QLatin1Char('/') + name);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase() {
        if (!g_server) {
            QSKIP("Xvfb is not installed (scripts/setup installs it)");
        }
        if (xclipMissing()) {
            QSKIP("xclip is not installed (scripts/setup installs it)");
        }
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        m_store = ClipStore::makeShared(500);
        m_service = std::make_unique<ClipCaptureService>(m_store, Pasteboard::general(), 0.05);
        m_service->start();
    }

    void cleanup() {
        for (QProcess* process : std::as_const(m_programs)) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();  // by its PID
                process->waitForFinished();
            }
            delete process;
        }
        m_programs.clear();
    }

    void cleanupTestCase() {
        m_service.reset();
        m_store.reset();
    }

    void capturesWhatOtherProgramsCopy() {
        const QString text = QStringLiteral("plain from xclip 你好");
        qint64 before = pasteboard().changeCount();
        xclip(text.toUtf8());
        QVERIFY(handledAfter(before));
        QCOMPARE(history().size(), 1);
        QCOMPARE(history().first().contentType, ContentType::plainText);
        QCOMPARE(history().first().plainText, text);
        QCOMPARE(history().first().contentHash, ContentHasher::hash(text));

        // HTML alone (xclip offers one type per run): rich data without text.
        const QByteArray html = "<b>bold</b> only";
        before = pasteboard().changeCount();
        xclip(html, QStringLiteral("text/html"));
        QVERIFY(handledAfter(before));
        ClipItem newest = history().first();
        QCOMPARE(newest.contentHash, CapturedClip::fromRichDataOnly(html).contentHash);
        QCOMPARE(newest.plainText, std::nullopt);
        QVERIFY(newest.richTextPath);
        QCOMPARE(attachment(*newest.richTextPath), html);

        // HTML together with text, as browsers offer it.
        const QByteArray both = "<i>both</i>";
        before = pasteboard().changeCount();
        offerTogether({{QStringLiteral("text/html"), both}, {QStringLiteral("text/plain"), "both"}});
        QVERIFY(handledAfter(before));
        newest = history().first();
        QCOMPARE(newest.contentType, ContentType::richText);
        QCOMPARE(newest.plainText, QStringLiteral("both"));
        QCOMPARE(newest.contentHash, CapturedClip::fromText(QStringLiteral("both"), both).contentHash);
        QCOMPARE(attachment(*newest.richTextPath), both);

        const QByteArray png = ImageFixtures::png({9, 7}, Qt::yellow);
        before = pasteboard().changeCount();
        xclip(png, QStringLiteral("image/png"));
        QVERIFY(handledAfter(before));
        newest = history().first();
        QCOMPARE(newest.contentType, ContentType::image);
        QCOMPARE(newest.contentHash, ContentHasher::hash(png));
        QCOMPARE(newest.byteSize, png.size());
        QCOMPARE(attachment(*newest.imagePath), png);
        QCOMPARE(QImage::fromData(attachment(*newest.thumbnailPath)).size(), QSize(9, 7));

        const QString dir = g_env->root();
        before = pasteboard().changeCount();
        xclip((QUrl::fromLocalFile(dir + QStringLiteral("/a.txt")).toEncoded() + "\r\n" +
               QUrl::fromLocalFile(dir + QStringLiteral("/b c.txt")).toEncoded() + "\r\n"),
              QStringLiteral("text/uri-list"));
        QVERIFY(handledAfter(before));
        newest = history().first();
        QCOMPARE(newest.contentType, ContentType::file);
        QCOMPARE(newest.filePaths(), QStringList({dir + QStringLiteral("/a.txt"), dir + QStringLiteral("/b c.txt")}));

        // A password manager's secret: absorbed, no clip, no file.
        const QStringList filesBefore = attachments();
        before = pasteboard().changeCount();
        offerTogether({{QStringLiteral("text/plain"), "hunter2"},
                       {QStringLiteral("text/html"), "<p>hunter2</p>"},
                       {QStringLiteral("x-kde-passwordManagerHint"), "secret"}});
        QVERIFY(handledAfter(before));
        m_service->refreshFromPasteboard();
        QCOMPARE(history().size(), 5);
        QCOMPARE(attachments(), filesBefore);

        // The same text twice: the second copy is seen and dropped by the store.
        before = pasteboard().changeCount();
        xclip("twice");
        QVERIFY(handledAfter(before));
        before = pasteboard().changeCount();
        xclip("twice");
        QVERIFY(handledAfter(before));
        QCOMPARE(history().size(), 6);
        QCOMPARE(history().first().plainText, QStringLiteral("twice"));
    }

    void pastesBackWithoutRecordingItself() {
        const QList<ClipItem> stored = history();
        QVERIFY(stored.size() >= 6);
        const auto find = [&](auto predicate) {
            return *std::find_if(stored.begin(), stored.end(), predicate);
        };
        const ClipItem rich = find([](const ClipItem& c) { return c.plainText == QStringLiteral("both"); });
        const ClipItem image = find([](const ClipItem& c) { return c.contentType == ContentType::image; });

        qint64 before = pasteboard().changeCount();
        PasteService::copyToPasteboard(rich);
        QCOMPARE(readBack(), QByteArray("both"));
        const QByteArray targets = readBack(QStringLiteral("TARGETS"));
        QVERIFY2(targets.contains("text/html") && targets.contains("UTF8_STRING"), targets.constData());
        QCOMPARE(readBack(QStringLiteral("text/html")), QByteArray("<i>both</i>"));

        PasteService::copyToPasteboard(image);
        const QImage back = QImage::fromData(readBack(QStringLiteral("image/png")));
        QCOMPARE(back.size(), QSize(9, 7));

        PasteService::copyPlainToPasteboard(rich);
        QCOMPARE(readBack(QStringLiteral("TARGETS")).contains("text/html"), false);
        QCOMPARE(readBack(), QByteArray("both"));

        QVERIFY(handledAfter(before));
        QTest::qWait(1000);  // past the window, several polls later
        QCOMPARE(history(), stored);
        QCOMPARE(m_service->monitor().lastChangeCount(), pasteboard().changeCount());
    }

    void cliServesTheClipboardUntilTakenOver() {
        const ClipItem twice = history().first();
        QCOMPARE(twice.plainText, QStringLiteral("twice"));
        QProcess* cli = offer(qEnvironmentVariable("TESSIK_BIN_DIR") + QStringLiteral("/tessik-cli"),
                              {QStringLiteral("copy"), uuidText(twice.id), QStringLiteral("--plain"),
                               QStringLiteral("--foreground")});
        QTRY_COMPARE_WITH_TIMEOUT(readBack(), QByteArray("twice"), 10000);
        QCOMPARE(cli->state(), QProcess::Running);  // still serving

        xclip("taken over");
        QVERIFY(cli->waitForFinished(10000));
        QCOMPARE(cli->exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli->exitCode(), 0);
        QTRY_COMPARE(readBack(), QByteArray("taken over"));
    }
};

int main(int argc, char* argv[]) {
    TestEnvironment env;
    g_env = &env;
    XvfbServer server;
    if (server.start()) {
        g_server = &server;
        qputenv("DISPLAY", server.display().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int result = 0;
    {
        QGuiApplication app(argc, argv);
        TestRealClipboard test;
        result = QTest::qExec(&test, argc, argv);
    }
    server.stop();  // after the application has closed its connection
    return result;
}

#include "tst_realclipboard.moc"
