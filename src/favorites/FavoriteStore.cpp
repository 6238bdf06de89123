#include "FavoriteStore.h"

#include "favorites/FavoriteRecords.h"
#include "platform/Uuid.h"
#include "store/ClipStore.h"
#include "sync/SyncClipPayload.h"

namespace tessik {

namespace {

using sqlite::Connection;

const QString kSelectCategory = QStringLiteral("SELECT %1 FROM favorite_categories WHERE id = ?")
                                    .arg(FavoriteCategoryRecord::columnList);
const QString kInsertCategory =
    QStringLiteral("INSERT INTO favorite_categories (%1) VALUES (?, ?, ?, ?, ?)")
        .arg(FavoriteCategoryRecord::columnList);
const QString kInsertItem =
    QStringLiteral("INSERT INTO favorite_items (%1) VALUES (?, ?, ?, ?, ?, ?, ?)")
        .arg(FavoriteItemRecord::columnList);
const QString kDeleteCategory = QStringLiteral("DELETE FROM favorite_categories WHERE id = ?");
const QString kDeleteItem = QStringLiteral("DELETE FROM favorite_items WHERE id = ?");

std::optional<FavoriteCategoryRecord> categoryRow(Connection& db, const QUuid& id) {
    auto select = db.prepare(kSelectCategory);
    select.bind(1, uuidText(id));
    if (!select.step()) {
        return std::nullopt;
    }
    return FavoriteCategoryRecord::read(select);
}

std::optional<FavoriteItem> findItem(Connection& db, const QUuid& clipId, const QUuid& categoryId) {
    auto select = db.prepare(
        QStringLiteral("SELECT %1 FROM favorite_items WHERE categoryId = ? AND clipId = ? LIMIT 1")
            .arg(FavoriteItemRecord::columnList));
    select.bind(1, uuidText(categoryId)).bind(2, uuidText(clipId));
    if (!select.step()) {
        return std::nullopt;
    }
    return FavoriteItemRecord::read(select).toItem();
}

qint64 singleInteger(Connection& db, const QString& sql,
                     const std::function<void(sqlite::Statement&)>& bindArguments) {
    auto statement = db.prepare(sql);
    bindArguments(statement);
    statement.step();
    return statement.integer(0);
}

} // namespace

FavoriteStore::FavoriteStore(DatabaseQueue& dbQueue, Clock clock)
    : m_queue(dbQueue), m_clock(std::move(clock)) {}

QList<FavoriteCategory> FavoriteStore::fetchCategories() {
    return m_queue.read([](Connection& db) {
        // The default BINARY collation compares UTF-8 bytes.
        auto select = db.prepare(QStringLiteral("SELECT %1 FROM favorite_categories "
                                                "ORDER BY sortOrder ASC, name ASC")
                                     .arg(FavoriteCategoryRecord::columnList));
        QList<FavoriteCategory> categories;
        while (select.step()) {
            categories.append(FavoriteCategoryRecord::read(select).toCategory());
        }
        return categories;
    });
}

std::optional<FavoriteCategory> FavoriteStore::category(const QUuid& id) {
    return m_queue.read([&](Connection& db) -> std::optional<FavoriteCategory> {
        const auto row = categoryRow(db, id);
        return row ? std::optional(row->toCategory()) : std::nullopt;
    });
}

FavoriteCategory FavoriteStore::createCategory(const QString& name, const QString& iconName) {
    return m_queue.write([&](Connection& db) {
        const qint64 highest = singleInteger(
            db, QStringLiteral("SELECT COALESCE(MAX(sortOrder), -1) FROM favorite_categories"),
            [](sqlite::Statement&) {});
        const FavoriteCategory category{QUuid::createUuid(), name.trimmed(), iconName, highest + 1,
                                        m_clock()};
        auto insert = db.prepare(kInsertCategory);
        FavoriteCategoryRecord::fromCategory(category).bind(insert);
        insert.run();
        return category;
    });
}

void FavoriteStore::updateCategory(const QUuid& id, const std::optional<QString>& name,
                                   const std::optional<QString>& iconName) {
    m_queue.write([&](Connection& db) {
        const auto row = categoryRow(db, id);
        if (!row) {
            return;
        }
        db.prepare(QStringLiteral(
                       "UPDATE favorite_categories SET name = ?, iconName = ?, updatedAt = ? "
                       "WHERE id = ?"))
            .bind(1, name ? name->trimmed() : row->name)
            .bind(2, iconName.value_or(row->iconName))
            .bind(3, m_clock())
            .bind(4, row->id)
            .run();
    });
}

void FavoriteStore::deleteCategory(const QUuid& id, const CategoryDeletePolicy& policy) {
    const QString idText = uuidText(id);
    if (policy.kind() != CategoryDeletePolicy::Kind::moveItemsToCategory) {
        m_queue.write([&](Connection& db) {
            db.prepare(QStringLiteral("DELETE FROM favorite_items WHERE categoryId = ?"))
                .bind(1, idText)
                .run();
            db.prepare(kDeleteCategory).bind(1, idText).run();
        });
        return;
    }
    const QUuid target = *policy.targetCategoryId();
    if (target == id) {
        return;
    }
    const QString targetText = uuidText(target);
    m_queue.write([&](Connection& db) {
        // The rows are handled by their stored texts, not by the mapped
        // items: an id that does not parse maps to a random one, which would
        // address no row and leave the item to be removed with the category.
        QList<FavoriteItemRecord> rows;
        auto select = db.prepare(QStringLiteral("SELECT %1 FROM favorite_items WHERE categoryId = ?")
                                     .arg(FavoriteItemRecord::columnList));
        select.bind(1, idText);
        while (select.step()) {
            rows.append(FavoriteItemRecord::read(select));
        }
        const TimePoint movedAt = m_clock();
        for (const FavoriteItemRecord& row : rows) {
            const bool targetHoldsClip =
                row.clipId &&
                singleInteger(db,
                              QStringLiteral("SELECT COUNT(*) FROM favorite_items "
                                             "WHERE categoryId = ? AND clipId = ?"),
                              [&](sqlite::Statement& s) { s.bind(1, targetText).bind(2, *row.clipId); }) >= 1;
            if (targetHoldsClip) {
                db.prepare(kDeleteItem).bind(1, row.id).run();
            } else {
                db.prepare(QStringLiteral(
                               "UPDATE favorite_items SET categoryId = ?, updatedAt = ? WHERE id = ?"))
                    .bind(1, targetText)
                    .bind(2, movedAt)
                    .bind(3, row.id)
                    .run();
            }
        }
        db.prepare(kDeleteCategory).bind(1, idText).run();
    });
}

QList<FavoriteItem> FavoriteStore::fetchItems(const QUuid& categoryId) {
    return m_queue.read([&](Connection& db) {
        auto select = db.prepare(QStringLiteral("SELECT %1 FROM favorite_items WHERE categoryId = ? "
                                                "ORDER BY sortOrder ASC, addedAt DESC")
                                     .arg(FavoriteItemRecord::columnList));
        select.bind(1, uuidText(categoryId));
        QList<FavoriteItem> items;
        while (select.step()) {
            items.append(FavoriteItemRecord::read(select).toItem());
        }
        return items;
    });
}

qint64 FavoriteStore::itemCount(const QUuid& categoryId) {
    return m_queue.read([&](Connection& db) {
        return singleInteger(db, QStringLiteral("SELECT COUNT(*) FROM favorite_items WHERE categoryId = ?"),
                             [&](sqlite::Statement& s) { s.bind(1, uuidText(categoryId)); });
    });
}

std::optional<FavoriteItem> FavoriteStore::favoriteItem(const QUuid& clipId,
                                                        const QUuid& categoryId) {
    return m_queue.read([&](Connection& db) { return findItem(db, clipId, categoryId); });
}

bool FavoriteStore::contains(const QUuid& clipId, const QUuid& categoryId) {
    return m_queue.read([&](Connection& db) {
        return singleInteger(db,
                             QStringLiteral("SELECT COUNT(*) FROM favorite_items "
                                            "WHERE categoryId = ? AND clipId = ?"),
                             [&](sqlite::Statement& s) {
                                 s.bind(1, uuidText(categoryId)).bind(2, uuidText(clipId));
                             }) > 0;
    });
}

FavoriteItem FavoriteStore::addClip(const ClipItem& clip, const QUuid& categoryId) {
    if (std::optional<FavoriteItem> existing = favoriteItem(clip.id, categoryId)) {
        return *existing;
    }
    // Read before the transaction: the attachment files can be large.
    const QByteArray snapshot = SyncClipPayload::encode(clip).snapshotData();
    return m_queue.write([&](Connection& db) {
        // Looked for again inside the transaction: tessik-cli and the
        // application may file the same clip at the same moment, and a
        // category keeps one item per clip.
        if (std::optional<FavoriteItem> existing = findItem(db, clip.id, categoryId)) {
            return *existing;
        }
        const qint64 highest = singleInteger(
            db,
            QStringLiteral(
                "SELECT COALESCE(MAX(sortOrder), -1) FROM favorite_items WHERE categoryId = ?"),
            [&](sqlite::Statement& s) { s.bind(1, uuidText(categoryId)); });
        const TimePoint addedAt = m_clock();
        const FavoriteItem item{QUuid::createUuid(), categoryId, clip.id, highest + 1,
                                addedAt,             m_clock(),  snapshot};
        auto insert = db.prepare(kInsertItem);
        FavoriteItemRecord::fromItem(item).bind(insert);
        insert.run();
        return item;
    });
}

std::optional<FavoriteItem> FavoriteStore::moveClip(const QUuid& clipId,
                                                    const std::optional<QUuid>& source,
                                                    const QUuid& target,
                                                    const std::optional<ClipItem>& clip) {
    if (source && *source == target) {
        return std::nullopt;
    }
    // One transaction, so that another process cannot slip an item in between
    // the look-ups and the change (the nested addClip becomes a savepoint).
    return m_queue.write([&](Connection& db) -> std::optional<FavoriteItem> {
        if (std::optional<FavoriteItem> inTarget = findItem(db, clipId, target)) {
            if (source) {
                db.prepare(QStringLiteral(
                               "DELETE FROM favorite_items WHERE categoryId = ? AND clipId = ?"))
                    .bind(1, uuidText(*source))
                    .bind(2, uuidText(clipId))
                    .run();
            }
            return inTarget;
        }
        if (source) {
            if (const std::optional<FavoriteItem> inSource = findItem(db, clipId, *source)) {
                db.prepare(QStringLiteral(
                               "UPDATE favorite_items\nSET categoryId = ?, updatedAt = ?\nWHERE id = ?"))
                    .bind(1, uuidText(target))
                    .bind(2, m_clock())
                    .bind(3, uuidText(inSource->id))
                    .run();
                return findItem(db, clipId, target);
            }
        }
        if (clip) {
            return addClip(*clip, target);
        }
        return std::nullopt;
    });
}

void FavoriteStore::removeItem(const QUuid& id) {
    m_queue.write([&](Connection& db) { db.prepare(kDeleteItem).bind(1, uuidText(id)).run(); });
}

QList<ClipItem> FavoriteStore::clips(const QUuid& categoryId, ClipStore& clipStore) {
    QList<ClipItem> result;
    for (const FavoriteItem& item : fetchItems(categoryId)) {
        if (std::optional<ClipItem> clip = resolveClip(item, clipStore)) {
            result.append(std::move(*clip));
        }
    }
    return result;
}

std::optional<ClipItem> FavoriteStore::resolveClip(const FavoriteItem& item, ClipStore& clipStore) {
    if (item.clipId) {
        try {
            if (std::optional<ClipItem> clip = clipStore.clip(*item.clipId)) {
                return clip;
            }
        } catch (const Error&) {
            // A failing look-up counts as not found: the snapshot may still serve.
        }
    }
    if (!item.snapshotData) {
        return std::nullopt;
    }
    try {
        return SyncClipPayload::fromSnapshotData(*item.snapshotData).materializeAttachments();
    } catch (const Error&) {
        return std::nullopt;  // an undecodable snapshot leaves the item out
    }
}

void FavoriteStore::upsertCategoryFromSync(const FavoriteCategory& category) {
    const FavoriteCategoryRecord incoming = FavoriteCategoryRecord::fromCategory(category);
    m_queue.write([&](Connection& db) {
        const auto stored = categoryRow(db, category.id);
        if (!stored) {
            auto insert = db.prepare(kInsertCategory);
            incoming.bind(insert);
            insert.run();
            return;
        }
        if (!(stored->updatedAt <= incoming.updatedAt)) {
            return;  // the local change is newer
        }
        db.prepare(QStringLiteral("UPDATE favorite_categories SET name = ?, iconName = ?, "
                                  "sortOrder = ?, updatedAt = ? WHERE id = ?"))
            .bind(1, incoming.name)
            .bind(2, incoming.iconName)
            .bind(3, incoming.sortOrder)
            .bind(4, incoming.updatedAt)
            .bind(5, incoming.id)
            .run();
    });
}

void FavoriteStore::upsertItemFromSync(const FavoriteItem& item) {
    const FavoriteItemRecord incoming = FavoriteItemRecord::fromItem(item);
    m_queue.write([&](Connection& db) {
        auto select = db.prepare(QStringLiteral("SELECT updatedAt FROM favorite_items WHERE id = ?"));
        select.bind(1, incoming.id);
        if (!select.step()) {
            auto insert = db.prepare(kInsertItem);
            incoming.bind(insert);
            insert.run();
            return;
        }
        if (!(select.real(0) <= incoming.updatedAt)) {
            return;  // the local change is newer
        }
        // The same columns in the same order as an insert, the id last.
        auto update = db.prepare(QStringLiteral(
            "UPDATE favorite_items SET id = ?1, categoryId = ?2, clipId = ?3, sortOrder = ?4, "
            "addedAt = ?5, updatedAt = ?6, snapshotData = ?7 WHERE id = ?1"));
        incoming.bind(update);
        update.run();
    });
}

} // namespace tessik
