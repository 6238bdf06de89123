#include "tst_favoritestore.h"

#include "capture/ContentHasher.h"
#include "favorites/FavoriteRecords.h"
#include "favorites/FavoriteStore.h"
#include "favorites/FavoriteStoreMigration.h"
#include "platform/AppPaths.h"
#include "platform/Uuid.h"
#include "store/Migrator.h"
#include "sync/SyncClipPayload.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sqlite3.h>

#include <cmath>
#include <thread>

using namespace tessik;

namespace {

ClipItem makeClip(const QString& text, TimePoint createdAt = 1'700'000'000.5,
                  ContentType type = ContentType::plainText) {
    return ClipItem{QUuid::createUuid(), createdAt,    QStringLiteral("THIS-DEVICE"),
                    type,                text,         std::nullopt,
                    std::nullopt,        std::nullopt, std::nullopt,
                    std::nullopt,        false,        ContentHasher::hash(text),
                    text.toUtf8().size()};
}

QString attachmentPath(const QString& name) {
    return AppPaths::attachmentsDirectory() + QLatin1Char('/') + name;
}

void writeAttachment(const QString& name, const QByteArray& bytes) {
    QFile file(attachmentPath(name));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readAttachment(const QString& name) {
    QFile file(attachmentPath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// An image clip whose files carry the names a snapshot writes them back
// under, so a clip rebuilt from its snapshot equals the original.
ClipItem makeImageClip() {
    ClipItem clip = makeClip(QString(), 1'700'000'100.75, ContentType::image);
    clip.plainText = std::nullopt;
    clip.imagePath = uuidText(clip.id) + QStringLiteral(".png");
    clip.thumbnailPath = uuidText(clip.id) + QStringLiteral("_thumb.jpg");
    writeAttachment(*clip.imagePath, QByteArray::fromHex("89504e470d0a1a0a0001"));
    writeAttachment(*clip.thumbnailPath, QByteArray::fromHex("ffd8ffe000"));
    return clip;
}

void execute(ClipStore& store, const QString& sql) {
    store.dbQueue().write([&](sqlite::Connection& db) { db.execute(sql); });
}

qint64 count(ClipStore& store, const QString& sql) {
    return store.dbQueue().read([&](sqlite::Connection& db) {
        auto statement = db.prepare(sql);
        statement.step();
        return statement.integer(0);
    });
}

// Every stored value of both tables, times at full precision, to show that
// an operation changed nothing.
QStringList dump(ClipStore& store) {
    return store.dbQueue().read([](sqlite::Connection& db) {
        QStringList rows;
        auto categories = db.prepare(QStringLiteral(
            "SELECT id, name, iconName, sortOrder, updatedAt FROM favorite_categories ORDER BY id"));
        while (categories.step()) {
            rows.append(QStringList{categories.text(0), categories.text(1), categories.text(2),
                                    QString::number(categories.integer(3)),
                                    QString::number(categories.real(4), 'g', 17)}
                            .join(QLatin1Char('|')));
        }
        auto items = db.prepare(QStringLiteral(
            "SELECT id, categoryId, coalesce(clipId, '<null>'), sortOrder, addedAt, updatedAt, "
            "coalesce(hex(snapshotData), '<null>') FROM favorite_items ORDER BY id"));
        while (items.step()) {
            rows.append(QStringList{items.text(0), items.text(1), items.text(2),
                                    QString::number(items.integer(3)),
                                    QString::number(items.real(4), 'g', 17),
                                    QString::number(items.real(5), 'g', 17), items.text(6)}
                            .join(QLatin1Char('|')));
        }
        return rows;
    });
}

QStringList names(const QList<FavoriteCategory>& categories) {
    QStringList result;
    for (const FavoriteCategory& category : categories) {
        result.append(category.name);
    }
    return result;
}

int foreignKeyFailure(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const sqlite::DatabaseError& error) {
        return error.code();
    }
    return SQLITE_OK;
}

} // namespace

FavoriteStore& TestFavoriteStore::favorites() {
    return m_clipStore->favorites();
}

std::unique_ptr<ClipStore> TestFavoriteStore::openClipStore() {
    const Clock clock = [this] { return m_now; };
    return std::make_unique<ClipStore>(m_dir->filePath(QStringLiteral("clips.sqlite")), 500,
                                       QList<Migration>{FavoriteStoreMigration::v2(clock)}, clock);
}

void TestFavoriteStore::initTestCase() {
    m_env = std::make_unique<TestEnvironment>();
}

void TestFavoriteStore::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_now = 1'800'000'000.25;
    m_clipStore = openClipStore();
}

void TestFavoriteStore::cleanup() {
    m_clipStore.reset();
}

void TestFavoriteStore::newDatabaseHoldsTheDefaultCategories() {
    const QList<FavoriteCategory> categories = favorites().fetchCategories();
    QCOMPARE(names(categories), (QStringList{"常用", "工作", "代码"}));
    const QStringList icons{"star.fill", "briefcase.fill", "chevron.left.forwardslash.chevron.right"};
    for (qsizetype i = 0; i < categories.size(); ++i) {
        QCOMPARE(categories.at(i).iconName, icons.at(i));
        QCOMPARE(categories.at(i).sortOrder, qint64(i));
        QCOMPARE(categories.at(i).updatedAt, m_now);
    }
    QCOMPARE(count(clipStore(), QStringLiteral("SELECT COUNT(*) FROM favorite_items")), 0);
    QCOMPARE(Migrator::appliedIdentifiers(clipStore().dbQueue()), (QStringList{"v1", "v2"}));

    // Reopening runs nothing again: the same three rows, nothing recorded twice.
    m_clipStore.reset();
    m_now += 60;
    m_clipStore = openClipStore();
    QCOMPARE(favorites().fetchCategories(), categories);
    QCOMPARE(Migrator::appliedIdentifiers(clipStore().dbQueue()), (QStringList{"v1", "v2"}));

    // The registration helper gives the same migration on the real clock.
    QList<Migration> later;
    FavoriteStoreMigration::registerV2(later);
    const TimePoint before = now();
    ClipStore other(m_dir->filePath(QStringLiteral("other.sqlite")), 500, later);
    const QList<FavoriteCategory> fresh = other.favorites().fetchCategories();
    QCOMPARE(names(fresh), (QStringList{"常用", "工作", "代码"}));
    QVERIFY(fresh.first().updatedAt >= before && fresh.first().updatedAt <= now());
    QCOMPARE(fresh.at(1).updatedAt, fresh.first().updatedAt);
    QCOMPARE(fresh.at(2).updatedAt, fresh.first().updatedAt);
}

void TestFavoriteStore::schemaIsExactlyAsWritten() {
    const auto rows = [&](const QString& sql, const std::function<QString(sqlite::Statement&)>& form) {
        return clipStore().dbQueue().read([&](sqlite::Connection& db) {
            QStringList result;
            auto statement = db.prepare(sql);
            while (statement.step()) {
                result.append(form(statement));
            }
            return result;
        });
    };
    const auto column = [](sqlite::Statement& s) {
        return QStringLiteral("%1 %2 notnull=%3 default=%4 pk=%5")
            .arg(s.text(1), s.text(2))
            .arg(s.integer(3))
            .arg(s.optionalText(4).value_or(QStringLiteral("-")))
            .arg(s.integer(5));
    };
    QCOMPARE(rows(QStringLiteral("PRAGMA table_info(favorite_categories)"), column),
             (QStringList{
                 "id TEXT notnull=0 default=- pk=1",
                 "name TEXT notnull=1 default=- pk=0",
                 "iconName TEXT notnull=1 default='folder.fill' pk=0",
                 "sortOrder INTEGER notnull=1 default=0 pk=0",
                 "updatedAt DOUBLE notnull=1 default=- pk=0",
             }));
    QCOMPARE(rows(QStringLiteral("PRAGMA table_info(favorite_items)"), column),
             (QStringList{
                 "id TEXT notnull=0 default=- pk=1",
                 "categoryId TEXT notnull=1 default=- pk=0",
                 "clipId TEXT notnull=0 default=- pk=0",
                 "sortOrder INTEGER notnull=1 default=0 pk=0",
                 "addedAt DOUBLE notnull=1 default=- pk=0",
                 "updatedAt DOUBLE notnull=1 default=- pk=0",
                 "snapshotData BLOB notnull=0 default=- pk=0",
             }));
    // The reference names the table only (no parent column), cascades on
    // delete and has no update action.
    QCOMPARE(rows(QStringLiteral("PRAGMA foreign_key_list(favorite_items)"),
                  [](sqlite::Statement& s) {
                      return QStringLiteral("%1.%2 -> %3 update=%4 delete=%5")
                          .arg(s.text(2), s.text(3),
                               s.optionalText(4).value_or(QStringLiteral("<primary key>")),
                               s.text(5), s.text(6));
                  }),
             (QStringList{"favorite_categories.categoryId -> <primary key> update=NO ACTION "
                          "delete=CASCADE"}));
    QCOMPARE(rows(QStringLiteral("SELECT name, \"unique\" FROM pragma_index_list('favorite_items') "
                                 "WHERE origin = 'c'"),
                  [](sqlite::Statement& s) {
                      return QStringLiteral("%1 unique=%2").arg(s.text(0)).arg(s.integer(1));
                  }),
             (QStringList{"idx_favorite_item_category unique=0"}));
    QCOMPARE(rows(QStringLiteral("PRAGMA index_info(idx_favorite_item_category)"),
                  [](sqlite::Statement& s) { return s.text(2); }),
             (QStringList{"categoryId", "sortOrder"}));
    // Not deferred: a row naming a missing category fails at its statement.
    QVERIFY(!rows(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'favorite_items'"),
                  [](sqlite::Statement& s) { return s.text(0); })
                 .first()
                 .contains(QLatin1String("DEFERRABLE"), Qt::CaseInsensitive));
}

void TestFavoriteStore::modelEqualityAndHashing() {
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    QCOMPARE(CategoryDeletePolicy::moveItemsToCategory(a), CategoryDeletePolicy::moveItemsToCategory(a));
    QVERIFY(CategoryDeletePolicy::moveItemsToCategory(a) != CategoryDeletePolicy::moveItemsToCategory(b));
    QVERIFY(CategoryDeletePolicy::deleteItemsAndCategory() !=
            CategoryDeletePolicy::removeCategoryKeepInHistory());
    QCOMPARE(CategoryDeletePolicy::deleteItemsAndCategory(), CategoryDeletePolicy::deleteItemsAndCategory());

    const FavoriteItem item{a, b, std::nullopt, 3, 1000.5, 1000.5, QByteArray()};
    FavoriteItem later = item;
    later.updatedAt = std::nextafter(item.updatedAt, 2000.0);  // times compare exactly
    QVERIFY(later != item);
    FavoriteItem withoutSnapshot = item;
    withoutSnapshot.snapshotData = std::nullopt;  // absent differs from empty
    QVERIFY(withoutSnapshot != item);
    QVERIFY(qHash(withoutSnapshot) != qHash(item));
    FavoriteItem withNullClip = withoutSnapshot;
    withNullClip.clipId = QUuid();  // present (even the nil UUID) differs from absent
    QVERIFY(withNullClip != withoutSnapshot);
    QVERIFY(qHash(withNullClip) != qHash(withoutSnapshot));
    FavoriteItem copy = item;
    QCOMPARE(copy, item);
    QCOMPARE(qHash(copy, 7), qHash(item, 7));

    const FavoriteCategory category{a, QStringLiteral("名"), QStringLiteral("folder.fill"), 1, 5.0};
    FavoriteCategory renamed = category;
    renamed.name = QStringLiteral("另");
    QVERIFY(renamed != category);
    QVERIFY(qHash(renamed) != qHash(category));
}

void TestFavoriteStore::rowMapping_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("categoryId");
    QTest::addColumn<QString>("clipId");  // a null QString stands for NULL
    QTest::addColumn<bool>("idKept");
    QTest::addColumn<bool>("categoryIdKept");
    QTest::addColumn<QString>("expectedClipId");  // null: absent

    const QString id = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    const QString category = QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E");
    const QString clip = QStringLiteral("7C9E6679-7425-40DE-944B-E07FC1F90AE7");
    QTest::newRow("canonical") << id << category << clip << true << true << clip;
    QTest::newRow("lower case") << id.toLower() << category.toLower() << clip.toLower() << true
                                << true << clip;
    QTest::newRow("NULL clip id") << id << category << QString() << true << true << QString();
    QTest::newRow("clip id not a uuid") << id << category << "clip-7" << true << true << QString();
    QTest::newRow("braced clip id") << id << category << "{" + clip + "}" << true << true << QString();
    QTest::newRow("empty clip id") << id << category << "" << true << true << QString();
    QTest::newRow("id not a uuid") << "item-1" << category << clip << false << true << clip;
    QTest::newRow("category not a uuid") << id << "" << clip << true << false << clip;
}
void TestFavoriteStore::rowMapping() {
    QFETCH(QString, id);
    QFETCH(QString, categoryId);
    QFETCH(QString, clipId);
    QFETCH(bool, idKept);
    QFETCH(bool, categoryIdKept);
    QFETCH(QString, expectedClipId);

    const FavoriteItemRecord record{id,     categoryId,  clipId.isNull() ? std::nullopt : std::optional(clipId),
                                    -4,     978307201.5, 978307202.25, QByteArray("snap")};
    const FavoriteItem first = record.toItem();
    const FavoriteItem second = record.toItem();
    QCOMPARE(first.id == parseUuid(id), idKept);
    QCOMPARE(first.id == second.id, idKept);  // a fallback id is new at every read
    QCOMPARE(first.categoryId == parseUuid(categoryId), categoryIdKept);
    QCOMPARE(first.clipId, parseUuid(expectedClipId));
    QCOMPARE(first.sortOrder, qint64(-4));
    QCOMPARE(first.addedAt, 978307201.5);
    QCOMPARE(first.updatedAt, 978307202.25);
    QCOMPARE(first.snapshotData, std::optional(QByteArray("snap")));

    // Written back, a mapped item gives the canonical texts and the same values.
    const FavoriteItemRecord written = FavoriteItemRecord::fromItem(first);
    QCOMPARE(written.id, uuidText(first.id));
    QCOMPARE(written.clipId, first.clipId ? std::optional(uuidText(*first.clipId)) : std::nullopt);
    QCOMPARE(written.toItem(), first);
}

void TestFavoriteStore::storedRowsWithUnreadableIds() {
    const QUuid work = favorites().fetchCategories().at(1).id;
    execute(clipStore(), QStringLiteral("INSERT INTO favorite_categories VALUES "
                                        "('legacy', '旧', 'tray', 9, 1.5)"));
    const auto legacyId = [&] { return favorites().fetchCategories().last().id; };
    const QUuid seen = legacyId();
    QVERIFY(seen != legacyId());
    QCOMPARE(favorites().fetchCategories().last().name, QStringLiteral("旧"));

    // Operations addressed by the id it showed find no row.
    const QStringList before = dump(clipStore());
    favorites().updateCategory(seen, QStringLiteral("新"));
    favorites().deleteCategory(seen, CategoryDeletePolicy::deleteItemsAndCategory());
    QCOMPARE(dump(clipStore()), before);

    const QUuid clip = QUuid::createUuid();
    execute(clipStore(), QStringLiteral("INSERT INTO favorite_items VALUES "
                                        "('item-a', '%1', 'not a clip id', 0, 10, 10, NULL),"
                                        "('item-b', '%1', '%2', 1, 10, 10, NULL)")
                             .arg(uuidText(work), uuidText(clip).toLower()));
    const QList<FavoriteItem> items = favorites().fetchItems(work);
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0).clipId, std::nullopt);
    QCOMPARE(items.at(0).snapshotData, std::nullopt);
    QCOMPARE(items.at(1).clipId, clip);
    QCOMPARE(items.at(1).snapshotData, std::nullopt);
}

void TestFavoriteStore::createCategory_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("iconName");  // null: the default
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QString>("storedIcon");
    QTest::newRow("spaces, word, line break") << "  工作记录\n" << QString() << "工作记录" << "folder.fill";
    QTest::newRow("tabs, ideographic space, CRLF") << "\t\u3000Notes \r\n" << QString() << "Notes"
                                                   << "folder.fill";
    QTest::newRow("inner spaces kept") << " a  b " << QString() << "a  b" << "folder.fill";
    QTest::newRow("blank becomes empty") << " \n " << QString() << "" << "folder.fill";
    QTest::newRow("name already taken") << "常用" << QString() << "常用" << "folder.fill";
    QTest::newRow("icon given") << "片段" << "doc.text" << "片段" << "doc.text";
}
void TestFavoriteStore::createCategory() {
    QFETCH(QString, name);
    QFETCH(QString, iconName);
    QFETCH(QString, storedName);
    QFETCH(QString, storedIcon);
    m_now += 5;
    const FavoriteCategory created = iconName.isNull()
                                         ? favorites().createCategory(name)
                                         : favorites().createCategory(name, iconName);
    QCOMPARE(created.name, storedName);
    QCOMPARE(created.iconName, storedIcon);
    QCOMPARE(created.sortOrder, qint64(3));
    QCOMPARE(created.updatedAt, m_now);
    QCOMPARE(favorites().category(created.id), created);
    QCOMPARE(favorites().fetchCategories().size(), 4);
    QCOMPARE(favorites().fetchCategories().last(), created);
}

void TestFavoriteStore::newCategoriesGoLastAndStartAtZeroWhenNoneAreLeft() {
    const FavoriteCategory x = favorites().createCategory(QStringLiteral("X"));
    QCOMPARE(favorites().createCategory(QStringLiteral("Y")).sortOrder, qint64(4));
    favorites().deleteCategory(x.id, CategoryDeletePolicy::deleteItemsAndCategory());
    QCOMPARE(favorites().createCategory(QStringLiteral("Z")).sortOrder, qint64(5));  // gaps stay

    for (const FavoriteCategory& category : favorites().fetchCategories()) {
        favorites().deleteCategory(category.id, CategoryDeletePolicy::removeCategoryKeepInHistory());
    }
    QVERIFY(favorites().fetchCategories().isEmpty());
    QCOMPARE(favorites().createCategory(QStringLiteral("再来")).sortOrder, qint64(0));
}

void TestFavoriteStore::equalSortOrdersListByteWise() {
    // Byte-wise UTF-8: upper case before lower case, and a character beyond
    // U+FFFF after one just below it (UTF-16 code units would order them the
    // other way round).
    for (const QString& name : {QStringLiteral("b"), QStringLiteral("😀"), QStringLiteral("B"),
                                QStringLiteral("é"), QStringLiteral("a"), QStringLiteral("￥"),
                                QStringLiteral("Z")}) {
        favorites().upsertCategoryFromSync(
            FavoriteCategory{QUuid::createUuid(), name, QStringLiteral("folder.fill"), 1, 10.0});
    }
    QCOMPARE(names(favorites().fetchCategories()),
             (QStringList{"常用", "B", "Z", "a", "b", "é", "工作", "￥", "😀", "代码"}));
}

void TestFavoriteStore::updateCategory() {
    const FavoriteCategory original = favorites().fetchCategories().at(1);
    FavoriteCategory expected = original;

    m_now += 1;
    favorites().updateCategory(original.id, QStringLiteral("  改名 \n"));
    expected.name = QStringLiteral("改名");
    expected.updatedAt = m_now;
    QCOMPARE(favorites().category(original.id), expected);

    m_now += 1;
    favorites().updateCategory(original.id, std::nullopt, QStringLiteral("tray.fill"));
    expected.iconName = QStringLiteral("tray.fill");
    expected.updatedAt = m_now;
    QCOMPARE(favorites().category(original.id), expected);

    m_now += 1;
    favorites().updateCategory(original.id, std::nullopt, std::nullopt);  // still counts as a change
    expected.updatedAt = m_now;
    QCOMPARE(favorites().category(original.id), expected);

    const QStringList before = dump(clipStore());
    favorites().updateCategory(QUuid::createUuid(), QStringLiteral("无"), QStringLiteral("x"));
    QCOMPARE(dump(clipStore()), before);
    QCOMPARE(favorites().category(QUuid::createUuid()), std::nullopt);
}

void TestFavoriteStore::deleteCategoryWithoutTarget_data() {
    QTest::addColumn<bool>("keepInHistory");
    QTest::newRow("deleteItemsAndCategory") << false;
    QTest::newRow("removeCategoryKeepInHistory") << true;
}
void TestFavoriteStore::deleteCategoryWithoutTarget() {
    QFETCH(bool, keepInHistory);
    const auto policy = keepInHistory ? CategoryDeletePolicy::removeCategoryKeepInHistory()
                                      : CategoryDeletePolicy::deleteItemsAndCategory();
    const QList<FavoriteCategory> categories = favorites().fetchCategories();
    const QUuid doomed = categories.at(1).id;
    const QUuid other = categories.at(2).id;
    const ClipItem x = makeClip(QStringLiteral("x"));
    const ClipItem y = makeClip(QStringLiteral("y"));
    QVERIFY(clipStore().upsertFromSync(x));
    QVERIFY(clipStore().upsertFromSync(y));
    favorites().addClip(x, doomed);
    favorites().addClip(y, doomed);
    const FavoriteItem kept = favorites().addClip(x, other);

    const QStringList before = dump(clipStore());
    favorites().deleteCategory(QUuid::createUuid(), policy);  // no such row: nothing happens
    QCOMPARE(dump(clipStore()), before);

    favorites().deleteCategory(doomed, policy);
    QCOMPARE(favorites().category(doomed), std::nullopt);
    QCOMPARE(count(clipStore(), QStringLiteral("SELECT COUNT(*) FROM favorite_items")), 1);
    QCOMPARE(favorites().fetchItems(other), QList<FavoriteItem>{kept});
    QCOMPARE(clipStore().clip(x.id), x);  // the history is never touched
    QCOMPARE(clipStore().clip(y.id), y);
}

void TestFavoriteStore::deleteCategoryMovingItems() {
    const QUuid target = favorites().fetchCategories().first().id;
    const QUuid source = favorites().createCategory(QStringLiteral("源")).id;
    const ClipItem x = makeClip(QStringLiteral("x"));
    const ClipItem y = makeClip(QStringLiteral("y"));
    const FavoriteItem targetX = favorites().addClip(x, target);
    m_now += 1;
    const FavoriteItem sourceX = favorites().addClip(x, source);
    m_now += 1;
    const FavoriteItem sourceY = favorites().addClip(y, source);
    // An item without a clip id always moves.
    const FavoriteItem noClip{QUuid::createUuid(), source, std::nullopt, 7, 900.0, 900.0, std::nullopt};
    favorites().upsertItemFromSync(noClip);
    // A row whose id does not parse must move too, not vanish with its category.
    execute(clipStore(), QStringLiteral("INSERT INTO favorite_items VALUES "
                                        "('legacy-item', '%1', NULL, 3, 800, 800, NULL)")
                             .arg(uuidText(source)));

    m_now += 100;
    favorites().deleteCategory(source, CategoryDeletePolicy::moveItemsToCategory(target));

    QCOMPARE(favorites().category(source), std::nullopt);
    QCOMPARE(favorites().favoriteItem(x.id, target), targetX);  // the target's own item, untouched
    QCOMPARE(count(clipStore(), QStringLiteral("SELECT COUNT(*) FROM favorite_items WHERE id = '%1'")
                                    .arg(uuidText(sourceX.id))),
             0);
    FavoriteItem movedY = sourceY;
    movedY.categoryId = target;
    movedY.updatedAt = m_now;
    FavoriteItem movedNoClip = noClip;
    movedNoClip.categoryId = target;
    movedNoClip.updatedAt = m_now;
    // Sort orders come along unchanged: targetX 0, sourceY 1, legacy 3, noClip 7.
    const QList<FavoriteItem> items = favorites().fetchItems(target);
    QCOMPARE(items.size(), 4);
    QCOMPARE(items.at(0), targetX);
    QCOMPARE(items.at(1), movedY);
    QCOMPARE(items.at(2).sortOrder, qint64(3));
    QCOMPARE(items.at(2).updatedAt, m_now);
    QCOMPARE(items.at(3), movedNoClip);
    QCOMPARE(count(clipStore(), QStringLiteral("SELECT COUNT(*) FROM favorite_items WHERE "
                                               "id = 'legacy-item' AND categoryId = '%1'")
                                    .arg(uuidText(target))),
             1);
}

void TestFavoriteStore::deleteCategoryMovingIntoItselfOrNowhere() {
    const QUuid source = favorites().fetchCategories().at(1).id;
    favorites().addClip(makeClip(QStringLiteral("x")), source);
    const QStringList before = dump(clipStore());

    favorites().deleteCategory(source, CategoryDeletePolicy::moveItemsToCategory(source));
    QCOMPARE(dump(clipStore()), before);

    const QUuid missing = QUuid::createUuid();
    QCOMPARE(foreignKeyFailure([&] {
                 favorites().deleteCategory(source, CategoryDeletePolicy::moveItemsToCategory(missing));
             }),
             SQLITE_CONSTRAINT_FOREIGNKEY);
    QCOMPARE(dump(clipStore()), before);

    // With nothing to move, no row is written and the category simply goes.
    const QUuid empty = favorites().fetchCategories().at(2).id;
    favorites().deleteCategory(empty, CategoryDeletePolicy::moveItemsToCategory(missing));
    QCOMPARE(favorites().category(empty), std::nullopt);
    QCOMPARE(favorites().fetchCategories().size(), 2);
}

void TestFavoriteStore::addClipKeepsOneItemPerCategory() {
    const QList<FavoriteCategory> categories = favorites().fetchCategories();
    const QUuid a = categories.at(0).id;
    const QUuid b = categories.at(1).id;
    const ClipItem image = makeImageClip();
    const QByteArray originalBytes = readAttachment(*image.imagePath);

    const FavoriteItem first = favorites().addClip(image, a);
    QCOMPARE(first.categoryId, a);
    QCOMPARE(first.clipId, image.id);
    QCOMPARE(first.sortOrder, qint64(0));
    QCOMPARE(first.addedAt, m_now);
    QCOMPARE(first.updatedAt, m_now);
    QCOMPARE(first.snapshotData, SyncClipPayload::encode(image).snapshotData());
    const SyncClipPayload snapshot = SyncClipPayload::fromSnapshotData(*first.snapshotData);
    QCOMPARE(snapshot.item, image);
    QCOMPARE(snapshot.imageData, originalBytes);
    QCOMPARE(snapshot.thumbnailData, readAttachment(*image.thumbnailPath));
    QCOMPARE(snapshot.richTextData, std::nullopt);

    // Filing it again changes nothing, not even the snapshot.
    m_now += 10;
    writeAttachment(*image.imagePath, QByteArray("changed"));
    QCOMPARE(favorites().addClip(image, a), first);
    QCOMPARE(favorites().fetchItems(a), QList<FavoriteItem>{first});

    // Another category gets an item of its own, with its own snapshot.
    const FavoriteItem inB = favorites().addClip(image, b);
    QVERIFY(inB.id != first.id);
    QCOMPARE(inB.addedAt, m_now);
    QCOMPARE(SyncClipPayload::fromSnapshotData(*inB.snapshotData).imageData, QByteArray("changed"));
    QCOMPARE(favorites().fetchItems(a), QList<FavoriteItem>{first});

    // Sort orders count up per category.
    QCOMPARE(favorites().addClip(makeClip(QStringLiteral("next")), a).sortOrder, qint64(1));
    QVERIFY(favorites().contains(image.id, a));
    QVERIFY(!favorites().contains(QUuid::createUuid(), a));
    QCOMPARE(favorites().itemCount(a), qint64(2));
    QCOMPARE(favorites().itemCount(b), qint64(1));
}

void TestFavoriteStore::addClipToAMissingCategoryFails() {
    const ClipItem x = makeClip(QStringLiteral("x"));
    const QUuid missing = QUuid::createUuid();
    const QStringList before = dump(clipStore());
    QCOMPARE(foreignKeyFailure([&] { favorites().addClip(x, missing); }), SQLITE_CONSTRAINT_FOREIGNKEY);
    QCOMPARE(dump(clipStore()), before);

    // A move into a missing category fails whole and leaves the item where it was.
    const QUuid a = favorites().fetchCategories().first().id;
    const FavoriteItem item = favorites().addClip(x, a);
    QCOMPARE(foreignKeyFailure([&] { favorites().moveClip(x.id, a, missing, x); }),
             SQLITE_CONSTRAINT_FOREIGNKEY);
    QCOMPARE(favorites().fetchItems(a), QList<FavoriteItem>{item});
}

void TestFavoriteStore::itemsWithEqualSortOrderListNewestFirst() {
    const QUuid a = favorites().fetchCategories().first().id;
    const auto item = [&](qint64 sortOrder, TimePoint addedAt) {
        const FavoriteItem value{QUuid::createUuid(), a, QUuid::createUuid(), sortOrder, addedAt, addedAt,
                                 std::nullopt};
        favorites().upsertItemFromSync(value);
        return value;
    };
    const FavoriteItem older = item(1, 10.0);
    const FavoriteItem first = item(0, 5.0);
    const FavoriteItem newer = item(1, 20.0);
    QCOMPARE(favorites().fetchItems(a), (QList<FavoriteItem>{first, newer, older}));
}

void TestFavoriteStore::moveClip_data() {
    QTest::addColumn<bool>("sourceHolds");
    QTest::addColumn<bool>("targetHolds");
    QTest::addColumn<QString>("source");  // "A", "B" (the target itself) or "" for none
    QTest::addColumn<bool>("passClip");
    QTest::addColumn<QString>("result");  // none, target's item, moved, new
    QTest::addColumn<bool>("sourceHoldsAfter");
    QTest::addColumn<bool>("targetHoldsAfter");
    QTest::newRow("source is the target") << false << true << "B" << true << "none" << false << true;
    QTest::newRow("target holds it, from A") << true << true << "A" << true << "target's item" << false << true;
    QTest::newRow("target holds it, no source") << true << true << "" << true << "target's item" << true << true;
    QTest::newRow("A holds it") << true << false << "A" << false << "moved" << false << true;
    QTest::newRow("A lacks it, clip given") << false << false << "A" << true << "new" << false << true;
    QTest::newRow("A lacks it, no clip") << false << false << "A" << false << "none" << false << false;
    QTest::newRow("no source, clip given") << false << false << "" << true << "new" << false << true;
    QTest::newRow("no source, no clip") << true << false << "" << false << "none" << true << false;
}
void TestFavoriteStore::moveClip() {
    QFETCH(bool, sourceHolds);
    QFETCH(bool, targetHolds);
    QFETCH(QString, source);
    QFETCH(bool, passClip);
    QFETCH(QString, result);
    QFETCH(bool, sourceHoldsAfter);
    QFETCH(bool, targetHoldsAfter);

    const QUuid a = favorites().fetchCategories().at(0).id;
    const QUuid b = favorites().fetchCategories().at(1).id;
    const ClipItem clip = makeClip(QStringLiteral("moving"));
    std::optional<FavoriteItem> inA;
    std::optional<FavoriteItem> inB;
    if (sourceHolds) {
        favorites().addClip(makeClip(QStringLiteral("filler")), a);
        inA = favorites().addClip(clip, a);  // sort order 1
    }
    m_now += 1;
    if (targetHolds) {
        inB = favorites().addClip(clip, b);
    }
    const QStringList before = dump(clipStore());

    m_now += 50;
    const std::optional<QUuid> from =
        source.isEmpty() ? std::nullopt : std::optional(source == QLatin1String("A") ? a : b);
    const std::optional<FavoriteItem> moved =
        favorites().moveClip(clip.id, from, b, passClip ? std::optional(clip) : std::nullopt);

    if (result == QLatin1String("none")) {
        QCOMPARE(moved, std::nullopt);
        QCOMPARE(dump(clipStore()), before);
    } else if (result == QLatin1String("target's item")) {
        QCOMPARE(moved, inB);
    } else if (result == QLatin1String("moved")) {
        FavoriteItem expected = *inA;  // same id, sort order, addedAt and snapshot
        expected.categoryId = b;
        expected.updatedAt = m_now;
        QCOMPARE(moved, expected);
    } else {
        QVERIFY(moved.has_value());
        QCOMPARE(moved->categoryId, b);
        QCOMPARE(moved->clipId, clip.id);
        QCOMPARE(moved->addedAt, m_now);
        QCOMPARE(moved->snapshotData, SyncClipPayload::encode(clip).snapshotData());
    }
    QCOMPARE(favorites().contains(clip.id, a), sourceHoldsAfter);
    QCOMPARE(favorites().contains(clip.id, b), targetHoldsAfter);
    if (moved) {
        QCOMPARE(favorites().favoriteItem(clip.id, b), moved);
    }
}

void TestFavoriteStore::clipsPreferTheHistoryAndFallBackToSnapshots() {
    const QUuid a = favorites().fetchCategories().first().id;
    const ClipItem text = makeClip(QStringLiteral("文本"), 1'700'000'000.125);
    const ClipItem image = makeImageClip();
    const ClipItem last = makeClip(QStringLiteral("last"), 1'700'000'200.5);
    for (const ClipItem& clip : {text, image, last}) {
        QVERIFY(clipStore().upsertFromSync(clip));
        favorites().addClip(clip, a);
    }
    const QByteArray imageBytes = readAttachment(*image.imagePath);
    const QByteArray thumbnailBytes = readAttachment(*image.thumbnailPath);

    // While the history holds a clip, its current state is what shows.
    clipStore().setPinned(text.id, true);
    ClipItem pinnedText = text;
    pinnedText.isPinned = true;
    QCOMPARE(favorites().clips(a, clipStore()), (QList<ClipItem>{pinnedText, image, last}));

    // Once gone, the clip comes back from the snapshot, attachment files included.
    clipStore().deleteClip(image.id);
    QVERIFY(QFile::remove(attachmentPath(*image.imagePath)));
    QVERIFY(QFile::remove(attachmentPath(*image.thumbnailPath)));
    QCOMPARE(favorites().clips(a, clipStore()), (QList<ClipItem>{pinnedText, image, last}));
    QCOMPARE(readAttachment(*image.imagePath), imageBytes);
    QCOMPARE(readAttachment(*image.thumbnailPath), thumbnailBytes);

    clipStore().deleteAll(false);
    QCOMPARE(favorites().clips(a, clipStore()), (QList<ClipItem>{text, image, last}));

    // A history that cannot be read counts as not holding the clip.
    ClipStore broken(m_dir->filePath(QStringLiteral("broken.sqlite")), 500);
    execute(broken, QStringLiteral("DROP TABLE clip_items"));
    QVERIFY_THROWS_EXCEPTION(sqlite::DatabaseError, broken.clip(text.id));
    QCOMPARE(favorites().clips(a, broken), (QList<ClipItem>{text, image, last}));
}

void TestFavoriteStore::clipsSkipItemsWithoutAClip() {
    const QUuid a = favorites().fetchCategories().first().id;
    const ClipItem kept = makeClip(QStringLiteral("kept"));
    const ClipItem remembered = makeClip(QStringLiteral("remembered"));
    const QByteArray goodSnapshot = SyncClipPayload{remembered, {}, {}, {}}.snapshotData();
    QByteArray badBase64 = SyncClipPayload{remembered, QByteArray("x"), {}, {}}.snapshotData();
    badBase64.replace(QByteArray("\"eA==\""), QByteArray("\"e!A\""));

    qint64 order = 0;
    const auto file = [&](const std::optional<QUuid>& clipId, const std::optional<QByteArray>& snapshot) {
        favorites().upsertItemFromSync(
            FavoriteItem{QUuid::createUuid(), a, clipId, order, 50.0, 50.0, snapshot});
        ++order;
    };
    QVERIFY(clipStore().upsertFromSync(kept));
    file(QUuid::createUuid(), std::nullopt);            // clip gone, no snapshot
    file(kept.id, std::nullopt);                        // from the history
    file(std::nullopt, QByteArray("{not json"));        // undecodable
    file(std::nullopt, QByteArray("{\"other\":1}"));    // no "item"
    file(QUuid::createUuid(), badBase64);               // bytes that are not Base64
    file(remembered.id, goodSnapshot);                  // from the snapshot
    file(std::nullopt, std::nullopt);                   // nothing at all
    QCOMPARE(favorites().clips(a, clipStore()), (QList<ClipItem>{kept, remembered}));
    QCOMPARE(favorites().clips(QUuid::createUuid(), clipStore()), QList<ClipItem>{});
}

void TestFavoriteStore::upsertsFromSyncLetTheLastWriterWin_data() {
    QTest::addColumn<bool>("item");
    QTest::addColumn<double>("delta");  // incoming updatedAt minus the stored one
    QTest::addColumn<bool>("overwritten");
    for (const bool item : {false, true}) {
        const char* kind = item ? "item" : "category";
        QTest::addRow("%s, older", kind) << item << -1e-6 << false;
        QTest::addRow("%s, equal", kind) << item << 0.0 << true;
        QTest::addRow("%s, newer", kind) << item << 1e-6 << true;
    }
}
void TestFavoriteStore::upsertsFromSyncLetTheLastWriterWin() {
    QFETCH(bool, item);
    QFETCH(double, delta);
    QFETCH(bool, overwritten);
    const QList<FavoriteCategory> categories = favorites().fetchCategories();
    if (!item) {
        const FavoriteCategory stored = categories.first();
        FavoriteCategory incoming{stored.id, QStringLiteral("云端"), QStringLiteral("cloud.fill"), 9,
                                  stored.updatedAt + delta};
        favorites().upsertCategoryFromSync(incoming);
        QCOMPARE(favorites().category(stored.id), overwritten ? incoming : stored);
        return;
    }
    const QUuid a = categories.at(0).id;
    const QUuid b = categories.at(1).id;
    const FavoriteItem stored = favorites().addClip(makeClip(QStringLiteral("x")), a);
    const FavoriteItem incoming{stored.id, b,     std::nullopt, 4, stored.addedAt - 100,
                                stored.updatedAt + delta, std::nullopt};
    favorites().upsertItemFromSync(incoming);
    QCOMPARE(favorites().fetchItems(a), overwritten ? QList<FavoriteItem>{} : QList<FavoriteItem>{stored});
    QCOMPARE(favorites().fetchItems(b), overwritten ? QList<FavoriteItem>{incoming} : QList<FavoriteItem>{});
}

void TestFavoriteStore::upsertItemIntoAMissingCategoryFails() {
    const FavoriteItem orphan{QUuid::createUuid(), QUuid::createUuid(), std::nullopt, 0, 1.0, 1.0,
                              std::nullopt};
    QCOMPARE(foreignKeyFailure([&] { favorites().upsertItemFromSync(orphan); }),
             SQLITE_CONSTRAINT_FOREIGNKEY);
    QCOMPARE(count(clipStore(), QStringLiteral("SELECT COUNT(*) FROM favorite_items")), 0);
}

void TestFavoriteStore::favoritesIsOneObjectBuiltOnce() {
    std::vector<FavoriteStore*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] { seen[i] = &clipStore().favorites(); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (FavoriteStore* store : seen) {
        QCOMPARE(store, &favorites());
    }
}

QTEST_GUILESS_MAIN(TestFavoriteStore)
