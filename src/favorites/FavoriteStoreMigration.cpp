#include "FavoriteStoreMigration.h"

#include "platform/Uuid.h"

#include <QUuid>

namespace tessik::FavoriteStoreMigration {

namespace {

struct DefaultCategory {
    const char* name;  // UTF-8
    const char* iconName;
    qint64 sortOrder;
};

// The categories every new database starts with. They are made only here: a
// user who deletes them does not get them back.
constexpr DefaultCategory kDefaultCategories[] = {
    {"常用", "star.fill", 0},
    {"工作", "briefcase.fill", 1},
    {"代码", "chevron.left.forwardslash.chevron.right", 2},
};

} // namespace

Migration v2(Clock clock) {
    return Migration{QStringLiteral("v2"), [clock = std::move(clock)](sqlite::Connection& db) {
                         // No IF NOT EXISTS: the migration bookkeeping runs this
                         // once per file, and a table already there is an error
                         // worth seeing.
                         db.execute(QStringLiteral(
                             "CREATE TABLE favorite_categories (\n"
                             "    id TEXT PRIMARY KEY,\n"
                             "    name TEXT NOT NULL,\n"
                             "    iconName TEXT NOT NULL DEFAULT 'folder.fill',\n"
                             "    sortOrder INTEGER NOT NULL DEFAULT 0,\n"
                             "    updatedAt DOUBLE NOT NULL\n"
                             ")"));
                         db.execute(QStringLiteral(
                             "CREATE TABLE favorite_items (\n"
                             "    id TEXT PRIMARY KEY,\n"
                             "    categoryId TEXT NOT NULL REFERENCES favorite_categories "
                             "ON DELETE CASCADE,\n"
                             "    clipId TEXT,\n"
                             "    sortOrder INTEGER NOT NULL DEFAULT 0,\n"
                             "    addedAt DOUBLE NOT NULL,\n"
                             "    updatedAt DOUBLE NOT NULL,\n"
                             "    snapshotData BLOB\n"
                             ")"));
                         db.execute(QStringLiteral("CREATE INDEX idx_favorite_item_category ON "
                                                   "favorite_items(categoryId, sortOrder)"));
                         const TimePoint createdAt = clock();
                         auto insert = db.prepare(QStringLiteral(
                             "INSERT INTO favorite_categories (id, name, iconName, sortOrder, "
                             "updatedAt)\nVALUES (?, ?, ?, ?, ?)"));
                         for (const DefaultCategory& category : kDefaultCategories) {
                             insert.bind(1, uuidText(QUuid::createUuid()))
                                 .bind(2, QString::fromUtf8(category.name))
                                 .bind(3, QString::fromLatin1(category.iconName))
                                 .bind(4, category.sortOrder)
                                 .bind(5, createdAt)
                                 .run();
                             insert.reset();
                         }
                     }};
}

void registerV2(QList<Migration>& migrations) {
    migrations.append(v2());
}

} // namespace tessik::FavoriteStoreMigration
