#include "TestEnvironment.h"
#include "capture/ClipItemJson.h"
#include "capture/ContentHasher.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "platform/IOSAppPreferences.h"
#include "platform/UserDefaults.h"
#include "platform/Uuid.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace tessik;

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

    Result cli(const QStringList& args, const QByteArray& input = QByteArray()) {
        QProcess process;
        process.setProgram(qEnvironmentVariable("TESSIK_BIN_DIR") + QStringLiteral("/tessik-cli"));
        process.setArguments(args);
        process.start();
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            return {};
        }
        return {process.exitCode(), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    QStringList addTexts(const QStringList& texts) {
        const Result added = cli(QStringList{QStringLiteral("add")} + texts);
        return QString::fromUtf8(added.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void initTestCase() {
        m_env = std::make_unique<TestEnvironment>();  // inherited by every tessik-cli run
        QVERIFY(QFile::exists(qEnvironmentVariable("TESSIK_BIN_DIR") + QStringLiteral("/tessik-cli")));
    }

    void init() {
        QDir(m_env->dataHome()).removeRecursively();
        QDir(m_env->configHome()).removeRecursively();
        QDir().mkpath(m_env->dataHome());
    }

    void addListShowRoundTrip() {
        const QStringList ids = addTexts({QStringLiteral("first"), QStringLiteral("second\twith tab"),
                                          QStringLiteral("first")});
        QCOMPARE(ids.size(), 3);
        QCOMPARE(ids.at(2), QStringLiteral("duplicate"));  // same process, within 60 s

        const Result listed = cli({QStringLiteral("list")});
        QCOMPARE(listed.exitCode, 0);
        const QStringList lines = QString::fromUtf8(listed.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        const QRegularExpression form(QStringLiteral(
            "^([0-9A-F-]{36})\\tplainText\\t-\\t\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z\\t(.*)$"));
        const auto newest = form.match(lines.at(0));
        QVERIFY2(newest.hasMatch(), qPrintable(lines.at(0)));
        QCOMPARE(newest.captured(1), ids.at(1));
        QCOMPARE(newest.captured(2), QStringLiteral("second with tab"));
        QCOMPARE(form.match(lines.at(1)).captured(1), ids.at(0));

        const Result shown = cli({QStringLiteral("show"), ids.at(1).toLower()});
        QCOMPARE(shown.exitCode, 0);
        QCOMPARE(shown.out, QByteArray("second\twith tab"));
    }

    void addReadsStandardInputExactly() {
        const QByteArray text = "line one\n  第二行\n\n";
        const Result added = cli({QStringLiteral("add")}, text);
        QCOMPARE(added.exitCode, 0);
        const QString id = QString::fromUtf8(added.out).trimmed();
        QCOMPARE(cli({QStringLiteral("show"), id}).out, text);
        // The duplicate window lives in one process: a new run records it again.
        const QString again = QString::fromUtf8(cli({QStringLiteral("add")}, text).out).trimmed();
        QVERIFY(parseUuid(again).has_value());
        QVERIFY(again != id);
    }

    void jsonListUsesTheClipForm() {
        const QStringList ids = addTexts({QStringLiteral("https://example.com/a"), QStringLiteral("plain")});
        const Result listed = cli({QStringLiteral("--json"), QStringLiteral("list"), QStringLiteral("--limit"), QStringLiteral("1")});
        QCOMPARE(listed.exitCode, 0);
        const QJsonArray array = QJsonDocument::fromJson(listed.out).array();
        QCOMPARE(array.size(), 1);
        const QJsonObject object = array.first().toObject();
        QVERIFY(!object.contains(QStringLiteral("imagePath")));  // absent optionals left out
        const ClipItem item = ClipItemJson::decode(object);
        QCOMPARE(uuidText(item.id), ids.at(1));
        QCOMPARE(item.deviceId, AppPaths::deviceId());
        // createdAt counts from 2001 in this form.
        const double since2001 = object.value(QStringLiteral("createdAt")).toDouble();
        QVERIFY(qAbs(since2001 - (now() - kSecondsFrom1970To2001)) < 120);

        const Result found = cli({QStringLiteral("search"), QStringLiteral("EXAMPLE"), QStringLiteral("--json")});
        QCOMPARE(found.exitCode, 2);  // global options come before the command
        const Result searched = cli({QStringLiteral("--json"), QStringLiteral("search"), QStringLiteral("EXAMPLE")});
        const QJsonArray hits = QJsonDocument::fromJson(searched.out).array();
        QCOMPARE(hits.size(), 1);
        QCOMPARE(hits.first().toObject().value(QStringLiteral("contentType")).toString(), QStringLiteral("url"));
    }

    void pinDeleteAndClear() {
        const QStringList ids = addTexts({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        QCOMPARE(cli({QStringLiteral("pin"), ids.at(0)}).exitCode, 0);
        QVERIFY(cli({QStringLiteral("list")}).out.startsWith((ids.at(0) + QStringLiteral("\tplainText\tpinned\t")).toUtf8()));
        QCOMPARE(cli({QStringLiteral("delete"), ids.at(1)}).exitCode, 0);
        QCOMPARE(cli({QStringLiteral("clear")}).exitCode, 0);
        QCOMPARE(cli({QStringLiteral("list")}).out.count('\n'), 1);  // the pinned one stays
        QCOMPARE(cli({QStringLiteral("unpin"), ids.at(0)}).exitCode, 0);
        QVERIFY(cli({QStringLiteral("list")}).out.contains("\t-\t"));
        QCOMPARE(cli({QStringLiteral("pin"), ids.at(0)}).exitCode, 0);
        QCOMPARE(cli({QStringLiteral("clear"), QStringLiteral("--all")}).exitCode, 0);
        QCOMPARE(cli({QStringLiteral("list")}).out, QByteArray());
    }

    void limitIsSavedAndPrunesAtOnce() {
        QCOMPARE(cli({QStringLiteral("limit")}).out, QByteArray("500\n"));
        QStringList texts;
        for (int i = 0; i < 150; ++i) {
            texts.append(QStringLiteral("text %1").arg(i));
        }
        addTexts(texts);
        QCOMPARE(cli({QStringLiteral("limit"), QStringLiteral("100")}).exitCode, 0);
        QCOMPARE(cli({QStringLiteral("limit")}).out, QByteArray("100\n"));
        // The saved value is what the application reads.
        QCOMPARE(IOSAppPreferences::historyLimit(), 100);
        const QByteArray listed = cli({QStringLiteral("list"), QStringLiteral("--limit"), QStringLiteral("1000")}).out;
        QCOMPARE(listed.count('\n'), 100);
        QVERIFY(listed.contains("text 149"));
        QVERIFY(!listed.contains("text 49\n"));
    }

    void errorsAndExitCodes_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString unknownId = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");
        QTest::newRow("no command") << QStringList{} << 2 << "no command given";
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2 << "unknown command";
        QTest::newRow("unknown option") << QStringList{"--yaml", "list"} << 2 << "unknown option";
        QTest::newRow("pin without id") << QStringList{"pin"} << 2 << "pin needs exactly one ID";
        QTest::newRow("bad --limit") << QStringList{"list", "--limit", "many"} << 2 << "--limit needs";
        QTest::newRow("limit not offered") << QStringList{"limit", "300"} << 2 << "must be 100, 200, 500 or 1000";
        QTest::newRow("clear with junk") << QStringList{"clear", "--pinned"} << 2 << "clear takes only --all";
        QTest::newRow("malformed id") << QStringList{"show", "12345"} << 1 << "\"12345\" is not a clip id";
        QTest::newRow("unknown id") << QStringList{"delete", unknownId} << 1 << "no clip with id";
        QTest::newRow("empty text") << QStringList{"add", ""} << 1 << "nothing to add";
        QTest::newRow("image file missing") << QStringList{"add", "--image", "/nonexistent/x.png"} << 1
                                            << "cannot read /nonexistent/x.png";
        QTest::newRow("image without file") << QStringList{"add", "--image"} << 2
                                            << "add --image needs exactly one FILE";
        QTest::newRow("copy without id") << QStringList{"copy", "--plain"} << 2 << "copy needs exactly one ID";
        QTest::newRow("copy unknown id") << QStringList{"copy", unknownId} << 1 << "no clip with id";
    }
    void errorsAndExitCodes() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Result result = cli(args);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.err.startsWith("tessik-cli: "), result.err.constData());
        QVERIFY2(result.err.contains(message.toUtf8()), result.err.constData());
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(cli({QStringLiteral("limit")}).out, QByteArray("500\n"));  // nothing was saved
    }

    void addImageStoresTheBytesAsCaptured() {
        QImage image(7, 5, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString file = m_env->root() + QStringLiteral("/picture.jpg");
        QVERIFY(image.save(file, "JPEG"));
        QFile source(file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();

        const Result added = cli({QStringLiteral("add"), QStringLiteral("--image"), file});
        QCOMPARE(added.exitCode, 0);
        const QString id = QString::fromUtf8(added.out).trimmed();
        QVERIFY2(parseUuid(id).has_value(), added.out.constData());

        const QJsonArray listed =
            QJsonDocument::fromJson(cli({QStringLiteral("--json"), QStringLiteral("list")}).out).array();
        QCOMPARE(listed.size(), 1);
        const ClipItem item = ClipItemJson::decode(listed.first().toObject());
        QCOMPARE(uuidText(item.id), id);
        QCOMPARE(item.contentType, ContentType::image);
        QCOMPARE(item.contentHash, ContentHasher::hash(bytes));
        QCOMPARE(item.byteSize, bytes.size());
        QVERIFY(item.imagePath && item.imagePath->endsWith(QLatin1String(".png")));
        QVERIFY(item.thumbnailPath);
        const QDir attachments(m_env->dataHome() + QStringLiteral("/tessik/attachments"));
        QFile stored(attachments.filePath(*item.imagePath));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), bytes);
        QCOMPARE(attachments.entryList(QDir::Files).size(), 2);
    }

    void unopenableDatabaseIsARuntimeError() {
        QDir().mkpath(m_env->dataHome() + QStringLiteral("/tessik/clips.sqlite"));
        const Result result = cli({QStringLiteral("list")});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains("Failed to initialize ClipStore: "), result.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
