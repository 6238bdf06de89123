#include "TestEnvironment.h"
#include "capture/ContentHasher.h"
#include "platform/Uuid.h"
#include "store/ClipStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

using namespace tessik;

namespace {

ClipItem makeItem(const std::optional<QString>& text, TimePoint createdAt, bool pinned = false,
                  ContentType type = ContentType::plainText) {
    return ClipItem{QUuid::createUuid(),
                    createdAt,
                    QStringLiteral("THIS-DEVICE"),
                    type,
                    text,
                    std::nullopt,
                    std::nullopt,
                    std::nullopt,
                    std::nullopt,
                    std::nullopt,
                    pinned,
                    ContentHasher::hash(text.value_or(QUuid::createUuid().toString())),
                    text ? text->toUtf8().size() : 0};
}

qint64 count(ClipStore& store, const QString& sql) {
    return store.dbQueue().read([&](sqlite::Connection& db) {
        auto statement = db.prepare(sql);
        statement.step();
        return statement.integer(0);
    });
}

QStringList texts(const QList<ClipItem>& items) {
    QStringList result;
    for (const ClipItem& item : items) {
        result.append(item.plainText.value_or(QStringLiteral("<none>")));
    }
    return result;
}

} // namespace

class TestClipStore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    TimePoint m_now = 1'800'000'000.0;

    std::unique_ptr<ClipStore> openStore(int maxItems = 500, const QList<Migration>& later = {}) {
        return std::make_unique<ClipStore>(m_dir->filePath(QStringLiteral("clips.sqlite")),
                                           maxItems, later, [this] { return m_now; });
    }

    // Inserts `n` unpinned clips one second apart, oldest first.
    void fill(ClipStore& store, int n, const QString& prefix = QStringLiteral("clip")) {
        for (int i = 0; i < n; ++i) {
            QVERIFY(store.upsertFromSync(makeItem(prefix + QString::number(i), 1000.0 + i)));
        }
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_now = 1'800'000'000.0;
    }

    void schemaIsExactlyAsWritten() {
        auto store = openStore();
        const QStringList columns = store->dbQueue().read([](sqlite::Connection& db) {
            QStringList rows;
            auto info = db.prepare(QStringLiteral("PRAGMA table_info(clip_items)"));
            while (info.step()) {
                rows.append(QStringLiteral("%1 %2 notnull=%3 default=%4 pk=%5")
                                .arg(info.text(1), info.text(2))
                                .arg(info.integer(3))
                                .arg(info.optionalText(4).value_or(QStringLiteral("-")))
                                .arg(info.integer(5)));
            }
            return rows;
        });
        QCOMPARE(columns, (QStringList{
                              "id TEXT notnull=0 default=- pk=1",
                              "createdAt DOUBLE notnull=1 default=- pk=0",
                              "deviceId TEXT notnull=1 default=- pk=0",
                              "contentType TEXT notnull=1 default=- pk=0",
                              "plainText TEXT notnull=0 default=- pk=0",
                              "richTextPath TEXT notnull=0 default=- pk=0",
                              "imagePath TEXT notnull=0 default=- pk=0",
                              "thumbnailPath TEXT notnull=0 default=- pk=0",
                              "sourceAppName TEXT notnull=0 default=- pk=0",
                              "sourceBundleId TEXT notnull=0 default=- pk=0",
                              "isPinned BOOLEAN notnull=1 default=0 pk=0",
                              "contentHash TEXT notnull=1 default=- pk=0",
                              "byteSize INTEGER notnull=1 default=0 pk=0",
                          }));
        const QStringList schema = store->dbQueue().read([](sqlite::Connection& db) {
            QStringList rows;
            auto master = db.prepare(QStringLiteral(
                "SELECT type, name, tbl_name FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' "
                "AND name NOT LIKE 'clip_items_fts_%' ORDER BY name"));
            while (master.step()) {
                rows.append(master.text(0) + QLatin1Char(' ') + master.text(1) + QLatin1Char(' ') +
                            master.text(2));
            }
            return rows;
        });
        QCOMPARE(schema, (QStringList{"table clip_items clip_items",
                                      "table clip_items_fts clip_items_fts",
                                      "index idx_clip_created clip_items",
                                      "index idx_clip_hash clip_items",
                                      "table tessik_migrations tessik_migrations"}));
        const QString indexes = store->dbQueue().read([](sqlite::Connection& db) {
            QStringList rows;
            auto index = db.prepare(QStringLiteral(
                "SELECT il.name, il.\"unique\", ii.name FROM pragma_index_list('clip_items') il, "
                "pragma_index_info(il.name) ii WHERE il.origin = 'c' ORDER BY il.name"));
            while (index.step()) {
                rows.append(QStringLiteral("%1(%2) unique=%3")
                                .arg(index.text(0), index.text(2))
                                .arg(index.integer(1)));
            }
            return rows.join(QLatin1Char(' '));
        });
        QCOMPARE(indexes, QStringLiteral("idx_clip_created(createdAt) unique=0 "
                                         "idx_clip_hash(contentHash) unique=0"));
        const QString fts = store->dbQueue().read([](sqlite::Connection& db) {
            auto sql = db.prepare(
                QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'clip_items_fts'"));
            sql.step();
            return sql.text(0);
        });
        QCOMPARE(fts, QStringLiteral("CREATE VIRTUAL TABLE clip_items_fts USING fts5(plainText)"));
        QCOMPARE(count(*store, QStringLiteral("PRAGMA foreign_keys")), 1);
        QCOMPARE(store->dbQueue().read([](sqlite::Connection& db) {
            auto mode = db.prepare(QStringLiteral("PRAGMA journal_mode"));
            mode.step();
            return mode.text(0);
        }),
                 QStringLiteral("delete"));
    }

    void migrationsRunOncePerFile() {
        int runs = 0;
        const QList<Migration> later{
            {QStringLiteral("v2"), [&](sqlite::Connection& db) {
                 ++runs;
                 db.execute(QStringLiteral("CREATE TABLE later_table (x INTEGER)"));
             }}};
        openStore(500, later)->insert(makeItem(QStringLiteral("kept"), 1.0));
        auto reopened = openStore(500, later);
        QCOMPARE(runs, 1);
        QCOMPARE(Migrator::appliedIdentifiers(reopened->dbQueue()),
                 (QStringList{QStringLiteral("v1"), QStringLiteral("v2")}));
        QCOMPARE(texts(reopened->fetchRecent(10)), QStringList{QStringLiteral("kept")});
    }

    void failingMigrationIsRolledBackWhole() {
        const QList<Migration> broken{
            {QStringLiteral("v2"), [](sqlite::Connection& db) {
                 db.execute(QStringLiteral("CREATE TABLE half_done (x INTEGER)"));
                 db.execute(QStringLiteral("THIS IS NOT SQL"));
             }}};
        QVERIFY_THROWS_EXCEPTION(sqlite::DatabaseError, openStore(500, broken));
        auto store = openStore();
        QCOMPARE(Migrator::appliedIdentifiers(store->dbQueue()), QStringList{QStringLiteral("v1")});
        QCOMPARE(count(*store, QStringLiteral(
                                   "SELECT COUNT(*) FROM sqlite_master WHERE name = 'half_done'")),
                 0);
    }

    void unopenableFileThrows() {
        QDir(m_dir->path()).mkpath(QStringLiteral("clips.sqlite"));  // a folder in its place
        QVERIFY_THROWS_EXCEPTION(sqlite::DatabaseError, openStore());
    }

    void duplicateWindow_data() {
        QTest::addColumn<QList<int>>("seconds");  // capture times
        QTest::addColumn<QStringList>("hashes");
        QTest::addColumn<QList<bool>>("stored");
        QTest::newRow("repeat suppressed") << QList<int>{0, 10} << QStringList{"A", "A"}
                                           << QList<bool>{true, false};
        QTest::newRow("exactly 60 s still suppressed") << QList<int>{0, 60} << QStringList{"A", "A"}
                                                       << QList<bool>{true, false};
        QTest::newRow("61 s later stored again") << QList<int>{0, 61} << QStringList{"A", "A"}
                                                 << QList<bool>{true, true};
        QTest::newRow("A B A") << QList<int>{0, 5, 10} << QStringList{"A", "B", "A"}
                               << QList<bool>{true, true, false};
        QTest::newRow("repeat does not extend the window")
            << QList<int>{0, 50, 61} << QStringList{"A", "A", "A"} << QList<bool>{true, false, true};
    }
    void duplicateWindow() {
        QFETCH(QList<int>, seconds);
        QFETCH(QStringList, hashes);
        QFETCH(QList<bool>, stored);
        auto store = openStore();
        const TimePoint start = m_now;
        int rows = 0;
        for (qsizetype i = 0; i < seconds.size(); ++i) {
            m_now = start + seconds.at(i);
            ClipItem item = makeItem(QStringLiteral("text"), m_now);
            item.contentHash = hashes.at(i);
            QCOMPARE(store->insert(item), stored.at(i));
            rows += stored.at(i) ? 1 : 0;
        }
        QCOMPARE(store->fetchRecent(100).size(), rows);
    }

    void failedInsertDoesNotSuppressTheRetry() {
        auto store = openStore();
        const ClipItem first = makeItem(QStringLiteral("first"), 1.0);
        QVERIFY(store->insert(first));
        ClipItem clash = makeItem(QStringLiteral("again"), 2.0);
        clash.id = first.id;  // the insert fails on the primary key
        QVERIFY_THROWS_EXCEPTION(sqlite::DatabaseError, store->insert(clash));
        clash.id = QUuid::createUuid();
        QVERIFY(store->insert(clash));
        QCOMPARE(texts(store->fetchRecent(10)), (QStringList{"again", "first"}));
    }

    void pruningRemovesOldestUnpinned() {
        auto store = openStore(100);
        fill(*store, 100);
        QVERIFY(store->insert(makeItem(QStringLiteral("new"), 5000.0)));
        const QList<ClipItem> recent = store->fetchRecent(1000);
        QCOMPARE(recent.size(), 100);
        QVERIFY(!texts(recent).contains(QStringLiteral("clip0")));
        QVERIFY(texts(recent).contains(QStringLiteral("clip1")));
    }

    void pinnedClipsAreNeverPruned() {
        auto store = openStore(100);
        for (int i = 0; i < 100; ++i) {
            QVERIFY(store->upsertFromSync(makeItem(QString::number(i), 1000.0 + i, true)));
        }
        // The table stays above the limit rather than drop the new clip.
        QVERIFY(store->insert(makeItem(QStringLiteral("new"), 5000.0)));
        QCOMPARE(store->fetchRecent(1000).size(), 101);
        QVERIFY(texts(store->fetchRecent(1000)).contains(QStringLiteral("new")));
        QVERIFY(store->upsertFromSync(makeItem(QStringLiteral("synced"), 1.0)));
        QCOMPARE(store->fetchRecent(1000).size(), 101);  // "new" made room for it
        store->setMaxItems(50);
        QCOMPARE(store->fetchRecent(1000).size(), 100);
        QCOMPARE(store->fetchRecent(1000).last().isPinned, true);
    }

    void loweringTheLimitPrunesAtOnce() {
        auto store = openStore(500);
        fill(*store, 300);
        store->setMaxItems(100);
        QCOMPARE(store->maxItems(), 100);
        const QList<ClipItem> recent = store->fetchRecent(1000);
        QCOMPARE(recent.size(), 100);
        QCOMPARE(recent.first().plainText, std::optional<QString>(QStringLiteral("clip299")));
        QCOMPARE(recent.last().plainText, std::optional<QString>(QStringLiteral("clip200")));
    }

    void search_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("expected");  // newest first
        QTest::newRow("trimmed, ASCII case folded") << "  hello \n" << QStringList{"hello there", "Hello World"};
        QTest::newRow("upper-case query") << "WORLD" << QStringList{"Hello World"};
        QTest::newRow("percent is a wildcard") << "50%" << QStringList{"5000 yuan", "价格50%折扣"};
        QTest::newRow("underscore is a wildcard") << "a_b" << QStringList{"axb", "a_b"};
        QTest::newRow("chinese substring") << "折扣" << QStringList{"价格50%折扣"};
        QTest::newRow("non-ASCII letters keep their case") << "äö" << QStringList{};
        QTest::newRow("non-ASCII exact case") << "ÄÖ" << QStringList{"Ünïcode ÄÖ"};
        QTest::newRow("no match") << "zzz" << QStringList{};
        QTest::newRow("blank gives recent list")
            << "   " << QStringList{"<none>", "Ünïcode ÄÖ", "axb", "a_b", "5000 yuan",
                                    "价格50%折扣", "hello there", "Hello World"};
    }
    void search() {
        QFETCH(QString, query);
        QFETCH(QStringList, expected);
        auto store = openStore();
        const QStringList corpus{"Hello World", "hello there", "价格50%折扣", "5000 yuan",
                                 "a_b",         "axb",         "Ünïcode ÄÖ"};
        for (qsizetype i = 0; i < corpus.size(); ++i) {
            QVERIFY(store->upsertFromSync(makeItem(corpus.at(i), 100.0 + i)));
        }
        QVERIFY(store->upsertFromSync(makeItem(std::nullopt, 200.0, false, ContentType::image)));
        QCOMPARE(texts(store->search(query, 100)), expected);
        // Sharing the texts of a held list gives the same result.
        QCOMPARE(store->search(query, 100, store->fetchRecent(100)), store->search(query, 100));
    }

    // A held list lends its texts to the rows it matches by id, content hash
    // and size; everything else is read from the rows, as they are now.
    void heldTextsAreShared() {
        auto store = openStore();
        fill(*store, 4);
        QVERIFY(store->upsertFromSync(makeItem(std::nullopt, 2000.0, false, ContentType::image)));
        const QList<ClipItem> held = store->fetchRecent(10);  // image, clip3, clip2, clip1, clip0
        store->setPinned(held.at(4).id, true);

        QList<ClipItem> misleading = held;
        misleading[1].plainText = QStringLiteral("stale text");  // same hash: taken as is
        misleading[2].plainText = QStringLiteral("other text");
        misleading[2].contentHash = ContentHasher::hash(QStringLiteral("other text"));
        misleading[3].plainText = std::nullopt;
        misleading[0].plainText = QStringLiteral("not the image's");

        const QList<ClipItem> fresh = store->fetchRecent(10);
        QCOMPARE(texts(fresh), (QStringList{"clip0", "<none>", "clip3", "clip2", "clip1"}));
        QCOMPARE(store->fetchRecent(10, held), fresh);
        QCOMPARE(store->fetchRecent(10, {}), fresh);
        QCOMPARE(store->fetchRecent(2, held), fresh.mid(0, 2));
        const QList<ClipItem> shared = store->fetchRecent(10, held);
        for (qsizetype i = 2; i < shared.size(); ++i) {
            const ClipItem& before = *std::find_if(held.begin(), held.end(), [&](const ClipItem& c) {
                return c.id == shared.at(i).id;
            });
            QVERIFY(shared.at(i).plainText->isSharedWith(*before.plainText));
        }

        const QList<ClipItem> mixed = store->fetchRecent(10, misleading);
        QCOMPARE(texts(mixed), (QStringList{"clip0", "<none>", "stale text", "clip2", "clip1"}));
        QVERIFY(!mixed.at(3).plainText->isSharedWith(*misleading.at(2).plainText));
    }

    void listsAreOrderedAndBounded() {
        auto store = openStore();
        fill(*store, 5);
        const QList<ClipItem> all = store->fetchRecent(10);
        store->setPinned(all.at(3).id, true);  // clip1
        QCOMPARE(texts(store->fetchRecent(10)), (QStringList{"clip1", "clip4", "clip3", "clip2", "clip0"}));
        QCOMPARE(texts(store->fetchRecent(2)), (QStringList{"clip1", "clip4"}));
        QCOMPARE(texts(store->search(QStringLiteral("clip"), 3)), (QStringList{"clip1", "clip4", "clip3"}));
        // Strictly after the time, oldest first, bounded.
        QCOMPARE(texts(store->fetchSince(1001.0, 10)), (QStringList{"clip2", "clip3", "clip4"}));
        QCOMPARE(texts(store->fetchSince(1001.0, 2)), (QStringList{"clip2", "clip3"}));
        QCOMPARE(texts(store->fetchSince(0.0, 1)), QStringList{"clip0"});
        QVERIFY(store->fetchSince(1004.0, 10).isEmpty());
    }

    void itemsRoundTripThroughRows() {
        auto store = openStore();
        ClipItem item = makeItem(QStringLiteral("全部字段"), 1'733'918'400.123456789, true,
                                 ContentType::richText);
        item.richTextPath = QStringLiteral("R.rtf");
        item.imagePath = QStringLiteral("I.png");
        item.thumbnailPath = QStringLiteral("I_thumb.jpg");
        item.sourceAppName = QStringLiteral("App");
        item.sourceBundleId = QStringLiteral("org.example.app");
        item.byteSize = 1LL << 40;
        QVERIFY(store->upsertFromSync(item));
        QCOMPARE(store->clip(item.id), std::optional<ClipItem>(item));
        QCOMPARE(store->clip(QUuid::createUuid()), std::nullopt);
        QCOMPARE(count(*store, QStringLiteral("SELECT COUNT(*) FROM clip_items WHERE id = '%1'")
                                   .arg(uuidText(item.id))),
                 1);
    }

    void rowMappingFallbacks() {
        auto store = openStore();
        store->dbQueue().write([](sqlite::Connection& db) {
            db.execute(QStringLiteral(
                "INSERT INTO clip_items (id, createdAt, deviceId, contentType, plainText, "
                "contentHash) VALUES ('not-a-uuid', 1.5, 'D', 'hologram', 'odd row', 'h')"));
        });
        const ClipItem first = store->fetchRecent(1).first();
        const ClipItem second = store->fetchRecent(1).first();
        QCOMPARE(first.contentType, ContentType::plainText);
        QCOMPARE(first.plainText, std::optional<QString>(QStringLiteral("odd row")));
        QCOMPARE(first.isPinned, false);
        QCOMPARE(first.byteSize, 0);
        QVERIFY(!first.id.isNull());
        QVERIFY(first.id != second.id);  // fresh at every read; the row keeps its text
    }

    void upsertFromSyncKeepsWhatIsStored() {
        auto store = openStore();
        ClipItem remote = makeItem(QStringLiteral("from phone"), 42.25, true);
        remote.deviceId = QStringLiteral("PHONE");
        remote.imagePath = QStringLiteral("remote.png");
        QVERIFY(store->upsertFromSync(remote));
        QCOMPARE(store->clip(remote.id), std::optional<ClipItem>(remote));

        ClipItem changed = remote;
        changed.plainText = QStringLiteral("edited");
        changed.isPinned = false;
        QVERIFY(!store->upsertFromSync(changed));
        QCOMPARE(store->clip(remote.id), std::optional<ClipItem>(remote));

        // Sync never consults the duplicate window.
        ClipItem sameHash = makeItem(QStringLiteral("from phone"), 43.0);
        sameHash.contentHash = remote.contentHash;
        QVERIFY(store->upsertFromSync(sameHash));
        QVERIFY(store->insert(makeItem(QStringLiteral("from phone"), 44.0)));
    }

    void failedWriteRollsBackWhole() {
        auto store = openStore(3);
        fill(*store, 3);
        // Make the pruning step fail: the row and full-text inserts before it
        // must be undone with it, and the pruned row must stay.
        store->dbQueue().read([](sqlite::Connection& db) {
            db.execute(QStringLiteral("CREATE TEMP TRIGGER refuse_delete BEFORE DELETE ON main.clip_items "
                                      "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        });
        const ClipItem item = makeItem(QStringLiteral("newest"), 9000.0);
        QVERIFY_THROWS_EXCEPTION(sqlite::DatabaseError, store->insert(item));
        QCOMPARE(texts(store->fetchRecent(10)), (QStringList{"clip2", "clip1", "clip0"}));
        QCOMPARE(count(*store, QStringLiteral("SELECT COUNT(*) FROM clip_items_fts")), 3);
        QVERIFY_THROWS_EXCEPTION(sqlite::DatabaseError, store->deleteAll(true));
        QCOMPARE(store->fetchRecent(10).size(), 3);

        store->dbQueue().read([](sqlite::Connection& db) {
            db.execute(QStringLiteral("DROP TRIGGER temp.refuse_delete"));
        });
        QVERIFY(store->insert(item));  // the failed attempt did not count as seen
        QCOMPARE(texts(store->fetchRecent(10)), (QStringList{"newest", "clip2", "clip1"}));
    }

    void fullTextRowsLeaveWithTheirClips() {
        auto store = openStore(4);
        fill(*store, 4);
        const QString ftsCount = QStringLiteral("SELECT COUNT(*) FROM clip_items_fts");
        const QString orphans = QStringLiteral(
            "SELECT COUNT(*) FROM clip_items_fts WHERE rowid NOT IN (SELECT rowid FROM clip_items)");
        QVERIFY(store->insert(makeItem(QStringLiteral("pruning one"), 5000.0)));
        QCOMPARE(count(*store, ftsCount), 4);
        store->deleteClip(store->fetchRecent(1).first().id);
        QCOMPARE(count(*store, ftsCount), 3);
        store->setMaxItems(2);
        QCOMPARE(count(*store, ftsCount), 2);
        QCOMPARE(count(*store, orphans), 0);

        // SQLite hands out the newest clip's rowid again once it is deleted;
        // the next clip must still be recorded with its text.
        const ClipItem newest = makeItem(QStringLiteral("newest"), 6000.0);
        QVERIFY(store->insert(newest));
        store->deleteClip(newest.id);
        QVERIFY(store->insert(makeItem(QStringLiteral("reuses the rowid"), 7000.0)));
        QCOMPARE(store->fetchRecent(1).first().plainText,
                 std::optional<QString>(QStringLiteral("reuses the rowid")));

        store->setPinned(store->fetchRecent(1).first().id, true);
        store->deleteAll(true);
        QCOMPARE(count(*store, ftsCount), 1);
        QCOMPARE(count(*store, orphans), 0);
        store->deleteAll(false);
        QCOMPARE(count(*store, ftsCount), 0);
        QVERIFY(store->fetchRecent(10).isEmpty());
    }

    void deleteAllUnpinnedKeepsPinned() {
        auto store = openStore();
        fill(*store, 4);
        const QUuid pinned = store->fetchRecent(10).at(2).id;
        store->setPinned(pinned, true);
        store->deleteAll(true);
        QCOMPARE(texts(store->fetchRecent(10)), QStringList{"clip1"});
        store->setPinned(pinned, false);
        QCOMPARE(store->clip(pinned)->isPinned, false);
        store->deleteClip(QUuid::createUuid());  // unknown id: no error
        store->deleteClip(pinned);
        QVERIFY(store->fetchRecent(10).isEmpty());
    }

    void callersOnManyThreadsAreSerialised() {
        auto store = openStore(1000);
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back(QThread::create([&store, t] {
                for (int i = 0; i < 50; ++i) {
                    store->upsertFromSync(makeItem(QStringLiteral("t%1-%2").arg(t).arg(i), t * 100 + i));
                    store->fetchRecent(20);
                    store->search(QStringLiteral("t1"), 5);
                }
            }));
            threads.back()->start();
        }
        for (auto& thread : threads) {
            QVERIFY(thread->wait(60000));
        }
        QCOMPARE(store->fetchRecent(1000).size(), 200);
    }

    void makeSharedStopsTheProcessOnFailure() {
        QTemporaryDir data;
        QDir(data.path()).mkpath(QStringLiteral("tessik/clips.sqlite"));  // a folder in its place
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        env.insert(QStringLiteral("TESSIK_MAKE_SHARED_CHILD"), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 1);
        QVERIFY2(child.readAllStandardError().contains("Failed to initialize ClipStore: SQLite error"),
                 "the reason is printed");
    }
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("TESSIK_MAKE_SHARED_CHILD")) {
        ClipStore::makeShared(500);
        return 0;
    }
    TestClipStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_clipstore.moc"
