#pragma once

#include "capture/ClipItem.h"
#include "favorites/FavoriteModel.h"
#include "platform/Clock.h"
#include "store/DatabaseQueue.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessik {

class ClipStore;

// The user's favourites: categories in "favorite_categories" and the clips
// filed in them in "favorite_items", in the clip database (tables made by
// FavoriteStoreMigration::v2). A favourite names the clip it was made from
// and carries a snapshot of it, so it outlives the history entry.
//
// Works over the clip store's connection (ClipStore::favorites builds it).
// Every operation is synchronous and may be called from any thread; database
// work runs on the shared queue and the caller blocks until it is done.
// Database errors (foreign-key failures included) are thrown unchanged as
// sqlite::DatabaseError and a failing write leaves the tables as they were.
// The store posts no notifications and knows nothing of the cloud.
class FavoriteStore {
public:
    static inline const QString kDefaultIconName = QStringLiteral("folder.fill");

    explicit FavoriteStore(DatabaseQueue& dbQueue, Clock clock = &tessik::now);

    // All categories in tab order: sortOrder ascending, then name byte-wise.
    QList<FavoriteCategory> fetchCategories();
    std::optional<FavoriteCategory> category(const QUuid& id);

    // A new category after all others (highest sort order + 1, 0 when there
    // are none; gaps are never filled). The name is trimmed of whitespace and
    // line breaks and otherwise stored as given, empty or repeated.
    FavoriteCategory createCategory(const QString& name,
                                    const QString& iconName = kDefaultIconName);
    // Renames (trimmed) and/or changes the icon; updatedAt becomes now even
    // when neither is given. An unknown id changes nothing and is no error.
    void updateCategory(const QUuid& id, const std::optional<QString>& name,
                        const std::optional<QString>& iconName = std::nullopt);
    // Deletes the category under `policy`, in one transaction. Moving into the
    // category itself does nothing at all; moving a non-empty category into an
    // id without a row fails with the foreign-key error and changes nothing.
    // Clips in the history are never touched. An unknown id is no error.
    void deleteCategory(const QUuid& id, const CategoryDeletePolicy& policy);

    // The category's items: sortOrder ascending, then newest addedAt first.
    QList<FavoriteItem> fetchItems(const QUuid& categoryId);
    // How many items the category holds.
    qint64 itemCount(const QUuid& categoryId);
    // The item of the clip in the category, or none.
    std::optional<FavoriteItem> favoriteItem(const QUuid& clipId, const QUuid& categoryId);
    bool contains(const QUuid& clipId, const QUuid& categoryId);

    // Files the clip in the category with a snapshot of it (its attachment
    // files read from the attachments folder) and returns the item. A clip
    // the category already holds returns the existing item unchanged. A
    // category without a row fails with the foreign-key error.
    FavoriteItem addClip(const ClipItem& clip, const QUuid& categoryId);
    // Moves the clip's item from `source` to `target`, keeping its id, sort
    // order, addedAt and snapshot. When the target holds the clip already,
    // the source's item is deleted and the target's returned unchanged. When
    // there is no source, or it lacks the clip, `clip` (if given) is added to
    // the target. Returns the target's item, or none (also for source ==
    // target). Runs as one transaction.
    std::optional<FavoriteItem> moveClip(const QUuid& clipId, const std::optional<QUuid>& source,
                                         const QUuid& target,
                                         const std::optional<ClipItem>& clip = std::nullopt);
    // An unknown id is no error.
    void removeItem(const QUuid& id);

    // The clips of the category in item order: each item's clip from the
    // history while it is there, otherwise rebuilt from its snapshot (whose
    // attachment bytes are written to the attachments folder again). Items
    // with neither are left out. Throws only when listing the items fails.
    QList<ClipItem> clips(const QUuid& categoryId, ClipStore& clipStore);

    // Apply a category or an item from the cloud: inserted when unknown,
    // otherwise overwritten unless the stored row is newer (equal updatedAt
    // lets the incoming win). An item whose category has no row fails with
    // the foreign-key error. Never deletes.
    void upsertCategoryFromSync(const FavoriteCategory& category);
    void upsertItemFromSync(const FavoriteItem& item);

private:
    std::optional<ClipItem> resolveClip(const FavoriteItem& item, ClipStore& clipStore);

    DatabaseQueue& m_queue;
    Clock m_clock;
};

} // namespace tessik
