#include "Migrator.h"

namespace tessik {

namespace {

void ensureBookkeeping(sqlite::Connection& db) {
    db.execute(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (identifier TEXT NOT NULL PRIMARY KEY)")
                   .arg(Migrator::bookkeepingTable));
}

QStringList applied(sqlite::Connection& db) {
    QStringList identifiers;
    auto select = db.prepare(
        QStringLiteral("SELECT identifier FROM %1 ORDER BY rowid").arg(Migrator::bookkeepingTable));
    while (select.step()) {
        identifiers.append(select.text(0));
    }
    return identifiers;
}

} // namespace

void Migrator::migrate(DatabaseQueue& queue, const QList<Migration>& migrations) {
    queue.write([](sqlite::Connection& db) { ensureBookkeeping(db); });
    for (const Migration& migration : migrations) {
        queue.write([&](sqlite::Connection& db) {
            // Checked inside the transaction: another process opening the
            // same new file at the same moment must not apply it twice.
            if (applied(db).contains(migration.identifier)) {
                return;
            }
            migration.apply(db);
            db.prepare(QStringLiteral("INSERT INTO %1 (identifier) VALUES (?)").arg(bookkeepingTable))
                .bind(1, migration.identifier)
                .run();
        });
    }
}

QStringList Migrator::appliedIdentifiers(DatabaseQueue& queue) {
    return queue.read([](sqlite::Connection& db) { return applied(db); });
}

} // namespace tessik
