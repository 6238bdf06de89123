#pragma once

#include "store/DatabaseQueue.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace tessik {

// A named schema change. Identifiers are recorded in the database once the
// change is applied, so each runs once per file.
struct Migration {
    QString identifier;
    std::function<void(sqlite::Connection&)> apply;
};

// Applies migrations in the order given, each in its own transaction together
// with its record in the bookkeeping table "tessik_migrations". A failing
// migration is rolled back whole and stops the run (DatabaseError).
class Migrator {
public:
    static inline const QString bookkeepingTable = QStringLiteral("tessik_migrations");

    static void migrate(DatabaseQueue& queue, const QList<Migration>& migrations);
    static QStringList appliedIdentifiers(DatabaseQueue& queue);
};

} // namespace tessik
