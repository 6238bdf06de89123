#include "TestEnvironment.h"
#include "capture/ClipItemJson.h"
#include "capture/ContentHasher.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "platform/IOSAppPreferences.h"
#include "platform/UserDefaults.h"
#include "platform/Uuid.h"
#include "platform/DeviceNaming.h"
#include "sync/SyncPeerStore.h"

#include <QDir>
#include <QImage>
#include <QHash>
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

    QStringList lines(const QStringList& args) {
        return QString::fromUtf8(cli(args).out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // The favourite categories as `categories` prints them, one list of
    // columns per line.
    QList<QStringList> categories() {
        QList<QStringList> rows;
        for (const QString& line : lines({QStringLiteral("categories")})) {
            rows.append(line.split(QLatin1Char('\t')));
        }
        return rows;
    }

    // A history with clips CLIP1 and CLIP2; CLIP1 is filed in CAT1 and CAT2,
    // CLIP2 in CAT1, and CAT3 is empty. Names map to ids for substituting
    // into arguments.
    QHash<QString, QString> favouritesFixture() {
        const QStringList clips = addTexts({QStringLiteral("one"), QStringLiteral("two")});
        const QList<QStringList> rows = categories();
        QHash<QString, QString> ids{{QStringLiteral("CLIP1"), clips.value(0)},
                                    {QStringLiteral("CLIP2"), clips.value(1)},
                                    {QStringLiteral("CAT1"), rows.value(0).value(0)},
                                    {QStringLiteral("CAT2"), rows.value(1).value(0)},
                                    {QStringLiteral("CAT3"), rows.value(2).value(0)},
                                    {QStringLiteral("UNKNOWN"),
                                     QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF")}};
        for (const QStringList& filing : {QStringList{"CLIP1", "CAT1"}, QStringList{"CLIP2", "CAT1"},
                                          QStringList{"CLIP1", "CAT2"}}) {
            const Result added = cli(substitute({"favorite", "add"}, ids) + substitute(filing, ids));
            if (added.exitCode != 0) {
                qWarning("%s", added.err.constData());
            }
        }
        return ids;
    }

    static QStringList substitute(const QStringList& args, const QHash<QString, QString>& ids) {
        QStringList result;
        for (const QString& arg : args) {
            result.append(ids.value(arg, arg));
        }
        return result;
    }

    // Favourite counts by category id.
    QHash<QString, QString> counts() {
        QHash<QString, QString> result;
        for (const QStringList& row : categories()) {
            result.insert(row.value(0), row.value(4));
        }
        return result;
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
        QTest::newRow("category alone") << QStringList{"category"} << 2 << "category needs one of: add, rename, delete";
        QTest::newRow("unknown favorite command") << QStringList{"favorite", "copy"} << 2 << "unknown favorite command \"copy\"";
        QTest::newRow("categories with junk") << QStringList{"categories", "all"} << 2 << "categories takes no arguments";
        QTest::newRow("category add without name") << QStringList{"category", "add"} << 2 << "category add needs exactly one NAME";
        QTest::newRow("two delete policies") << QStringList{"category", "delete", unknownId, "--delete-items", "--keep-in-history"} << 2 << "takes one of";
        QTest::newRow("--move-to twice") << QStringList{"category", "delete", unknownId, "--move-to", unknownId, "--move-to", unknownId} << 2 << "takes one of";
        QTest::newRow("--move-to without id") << QStringList{"category", "delete", unknownId, "--move-to"} << 2 << "--move-to needs a category ID";
        QTest::newRow("move without --to") << QStringList{"favorite", "move", unknownId, "--from", unknownId} << 2 << "needs --from CATEGORY_ID and --to CATEGORY_ID";
        QTest::newRow("favorites without id") << QStringList{"favorites"} << 2 << "favorites needs exactly one CATEGORY_ID";
        QTest::newRow("malformed category id") << QStringList{"favorites", "tab-1"} << 1 << "\"tab-1\" is not a category id";
        QTest::newRow("unknown category") << QStringList{"category", "rename", unknownId, "x"} << 1 << "no category with id";
        QTest::newRow("blank category name") << QStringList{"category", "add", " \n "} << 1 << "cannot be blank";
        QTest::newRow("favourite of an unknown clip") << QStringList{"favorite", "add", unknownId, unknownId} << 1 << "no clip with id";
        QTest::newRow("malformed clip id to remove") << QStringList{"favorite", "remove", "x", unknownId} << 1 << "\"x\" is not a clip id";
        QTest::newRow("sync alone") << QStringList{"sync"} << 2 << "sync needs one of: status, enable, disable, require-pin, name";
        QTest::newRow("require-pin maybe") << QStringList{"sync", "require-pin", "maybe"} << 2 << "needs on or off";
        QTest::newRow("blank device name") << QStringList{"sync", "name", "  "} << 1 << "cannot be blank";
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

    void favouriteCommands() {
        // A new database lists the three default categories, all empty.
        const QRegularExpression form(QStringLiteral("^[0-9A-F-]{36}$"));
        QList<QStringList> rows = categories();
        QCOMPARE(rows.size(), 3);
        QVERIFY(form.match(rows.at(0).at(0)).hasMatch());
        QCOMPARE(rows.at(0).mid(1), (QStringList{"常用", "star.fill", "0", "0"}));
        QCOMPARE(rows.at(2).mid(1), (QStringList{"代码", "chevron.left.forwardslash.chevron.right", "2", "0"}));

        const Result created = cli({QStringLiteral("category"), QStringLiteral("add"), QStringLiteral("  新\t分类\n")});
        QCOMPARE(created.exitCode, 0);
        const QString id = QString::fromUtf8(created.out).trimmed();
        QCOMPARE(categories().last(), (QStringList{id, "新 分类", "folder.fill", "3", "0"}));  // tab shown as a space
        QCOMPARE(cli({QStringLiteral("category"), QStringLiteral("rename"), id.toLower(), QStringLiteral("代码片段")}).exitCode, 0);
        QCOMPARE(categories().last().value(1), QStringLiteral("代码片段"));

        // A category lists its clips exactly as list prints them, in filing order.
        const QStringList clips = addTexts({QStringLiteral("first"), QStringLiteral("second\nline")});
        QHash<QString, QString> listed;
        for (const QString& line : lines({QStringLiteral("list")})) {
            listed.insert(line.left(36), line);
        }
        for (const QString& clip : {clips.at(1), clips.at(0)}) {
            QCOMPARE(cli({QStringLiteral("favorite"), QStringLiteral("add"), clip, id}).exitCode, 0);
        }
        QCOMPARE(cli({QStringLiteral("favorite"), QStringLiteral("add"), clips.at(1), id}).exitCode, 0);  // once only
        const QStringList expected{listed.value(clips.at(1)), listed.value(clips.at(0))};
        QCOMPARE(lines({QStringLiteral("favorites"), id}), expected);
        QCOMPARE(counts().value(id), QStringLiteral("2"));

        // Deleted from the history, a favourite still shows from its snapshot.
        QCOMPARE(cli({QStringLiteral("clear"), QStringLiteral("--all")}).exitCode, 0);
        QCOMPARE(lines({QStringLiteral("favorites"), id}), expected);
        const QJsonArray array = QJsonDocument::fromJson(cli({QStringLiteral("--json"), QStringLiteral("favorites"), id}).out).array();
        QCOMPARE(array.size(), 2);
        QCOMPARE(ClipItemJson::decode(array.at(0).toObject()).plainText, QStringLiteral("second\nline"));

        // Move one to 常用, remove the other: the category is then empty and
        // goes without a choice of what to do with its favourites.
        const QString common = rows.at(0).at(0);
        QCOMPARE(cli({QStringLiteral("favorite"), QStringLiteral("move"), clips.at(0), QStringLiteral("--from"), id,
                      QStringLiteral("--to"), common}).exitCode, 0);
        QCOMPARE(lines({QStringLiteral("favorites"), common}), QStringList{expected.at(1)});
        QCOMPARE(cli({QStringLiteral("favorite"), QStringLiteral("remove"), clips.at(1), id}).exitCode, 0);
        QCOMPARE(lines({QStringLiteral("favorites"), id}), QStringList{});
        QCOMPARE(cli({QStringLiteral("category"), QStringLiteral("delete"), id}).exitCode, 0);
        QCOMPARE(categories().size(), 3);
    }

    void categoryDeletePolicies_data() {
        QTest::addColumn<QStringList>("args");  // after "category delete"
        QTest::addColumn<QString>("deleted");
        QTest::addColumn<QString>("countInCat2");
        QTest::newRow("move into a category holding one of them") << QStringList{"CAT1", "--move-to", "CAT2"} << "CAT1" << "2";
        QTest::newRow("option before the id") << QStringList{"--move-to", "CAT2", "CAT1"} << "CAT1" << "2";
        QTest::newRow("delete items") << QStringList{"CAT1", "--delete-items"} << "CAT1" << "1";
        QTest::newRow("keep in history") << QStringList{"CAT1", "--keep-in-history"} << "CAT1" << "1";
        QTest::newRow("empty category, no option") << QStringList{"CAT3"} << "CAT3" << "1";
    }
    void categoryDeletePolicies() {
        QFETCH(QStringList, args);
        QFETCH(QString, deleted);
        QFETCH(QString, countInCat2);
        const QHash<QString, QString> ids = favouritesFixture();
        const Result result = cli(QStringList{"category", "delete"} + substitute(args, ids));
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.err.isEmpty(), result.err.constData());
        const QHash<QString, QString> after = counts();
        QCOMPARE(after.size(), 2);
        QVERIFY(!after.contains(ids.value(deleted)));
        QCOMPARE(after.value(ids.value(QStringLiteral("CAT2"))), countInCat2);
        QCOMPARE(lines({QStringLiteral("list")}).size(), 2);  // the history keeps its clips
    }

    void favouriteRuntimeErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("remove what the category lacks") << QStringList{"favorite", "remove", "CLIP2", "CAT2"} << "is not a favourite in category";
        QTest::newRow("move from a category lacking it") << QStringList{"favorite", "move", "CLIP2", "--from", "CAT3", "--to", "CAT2"} << "is not a favourite in category";
        QTest::newRow("move to an unknown category") << QStringList{"favorite", "move", "CLIP1", "--from", "CAT1", "--to", "UNKNOWN"} << "no category with id";
        QTest::newRow("file in an unknown category") << QStringList{"favorite", "add", "CLIP1", "UNKNOWN"} << "no category with id";
        QTest::newRow("delete a category holding favourites") << QStringList{"category", "delete", "CAT1"} << "still holds favourites (2)";
        QTest::newRow("move a category into itself") << QStringList{"category", "delete", "CAT1", "--move-to", "CAT1"} << "into itself";
        QTest::newRow("move a category nowhere") << QStringList{"category", "delete", "CAT1", "--move-to", "UNKNOWN"} << "no category with id";
        QTest::newRow("malformed target") << QStringList{"category", "delete", "CAT1", "--move-to", "CAT-2"} << "\"CAT-2\" is not a category id";
    }
    void favouriteRuntimeErrors() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const QHash<QString, QString> ids = favouritesFixture();
        const QList<QStringList> before = categories();
        const Result result = cli(substitute(args, ids));
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.startsWith("tessik-cli: "), result.err.constData());
        QVERIFY2(result.err.contains(message.toUtf8()), result.err.constData());
        QCOMPARE(result.err.count('\n'), 1);
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(categories(), before);
    }

    void syncSettings() {
        QCOMPARE(cli({QStringLiteral("sync"), QStringLiteral("status")}).out,
                 QStringLiteral("enabled\tno\nrequire-pin\tno\ndevice-name\t%1\ndevice-id\t%2\n")
                     .arg(DeviceNaming::defaultSyncName(), AppPaths::deviceId())
                     .toUtf8());
        QCOMPARE(cli({QStringLiteral("sync"), QStringLiteral("enable")}).exitCode, 0);
        QCOMPARE(cli({QStringLiteral("sync"), QStringLiteral("require-pin"), QStringLiteral("on")}).exitCode, 0);
        QCOMPARE(cli({QStringLiteral("sync"), QStringLiteral("name"), QStringLiteral(" 书房 ")}).exitCode, 0);
        // What the application reads at its next start.
        QVERIFY(IOSAppPreferences::syncEnabled());
        QVERIFY(IOSAppPreferences::syncRequirePIN());
        QCOMPARE(IOSAppPreferences::syncDeviceName(), QStringLiteral("书房"));
        SyncPeerStore peers(m_env->dataHome() + QStringLiteral("/tessik/sync-config.json"));
        QCOMPARE(peers.load().deviceName, QStringLiteral("书房"));

        peers.upsertPairedDevice(PairedDeviceRecord{QStringLiteral("PHONE-ID"), QStringLiteral("手机"),
                                                    QStringLiteral("SECRET-TOKEN"), 1'733'918'400.0,
                                                    std::nullopt, std::nullopt});
        const QByteArray status = cli({QStringLiteral("sync"), QStringLiteral("status")}).out;
        QCOMPARE(status, QByteArray("enabled\tyes\nrequire-pin\tyes\ndevice-name\t书房\ndevice-id\t") +
                             AppPaths::deviceId().toUtf8() +
                             QByteArray("\npaired\tPHONE-ID\t手机\t2024-12-11T12:00:00.000Z\n"));
        const QByteArray json = cli({QStringLiteral("--json"), QStringLiteral("sync"), QStringLiteral("status")}).out;
        QVERIFY(!json.contains("SECRET-TOKEN"));  // tokens never leave the file
        QCOMPARE(QJsonDocument::fromJson(json).object().value(QStringLiteral("pairedDevices")).toArray().size(), 1);
        QCOMPARE(cli({QStringLiteral("sync"), QStringLiteral("disable")}).exitCode, 0);
        QVERIFY(!IOSAppPreferences::syncEnabled());
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
