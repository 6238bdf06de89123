#pragma once

#include "capture/ClipItem.h"
#include "platform/Clock.h"
#include "store/DatabaseQueue.h"
#include "store/Migrator.h"

#include <QList>
#include <QSet>
#include <QUuid>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace tessik {

class FavoriteStore;

// The clipboard history: one row per clip in "clip_items" of the clip
// database, which it owns the only connection to.
//
// Every operation is synchronous and may be called from any thread; database
// work is serialised by dbQueue() and the caller blocks until it is done.
// Operations throw sqlite::DatabaseError unchanged; a failing write leaves
// the database as it was. The store posts no notifications.
class ClipStore {
public:
    // How long a content hash suppresses the same content again.
    static constexpr double kDedupeWindow = 60.0;

    // Opens (creating if needed) the database, applies migration "v1" and
    // then `laterMigrations` in order, each once per file. Throws
    // sqlite::DatabaseError when the file cannot be opened or migrated.
    ClipStore(const QString& databaseURL, int maxItems,
              const QList<Migration>& laterMigrations = {}, Clock clock = &tessik::now);

    // A store on the standard database location. The application cannot run
    // without its history: on failure the process stops with
    // "Failed to initialize ClipStore: " and the error's description. The
    // application passes the favourites' "v2" (FavoriteStoreMigration) as
    // `laterMigrations`.
    static std::shared_ptr<ClipStore> makeShared(int maxItems,
                                                 const QList<Migration>& laterMigrations = {});

    // The migration that creates the history tables.
    static Migration migrationV1();

    // Stores a newly captured clip unless the same content hash was inserted
    // in the last 60 seconds (then returns false and writes nothing). Prunes
    // the oldest unpinned clips beyond the limit in the same transaction (never
    // the new clip itself: with every other clip pinned, the table grows).
    // A repeat does not extend the window; a failed insertion does not count.
    bool insert(const ClipItem& item);

    // Pinned first, then newest first; at most `limit` clips.
    QList<ClipItem> fetchRecent(int limit);
    // Clips whose text contains the trimmed query (SQL LIKE: ASCII letters
    // match either case, "%" and "_" are wildcards), ordered as fetchRecent.
    // A blank query gives the recent list.
    QList<ClipItem> search(const QString& query, int limit);
    // The same lists for a caller that holds an earlier list: a row whose id,
    // content hash and byte size match a clip of `held` shares that clip's
    // text (Qt's implicit sharing) instead of reading it again. A list of
    // large texts is then held once, and re-reading it costs little.
    QList<ClipItem> fetchRecent(int limit, const QList<ClipItem>& held);
    QList<ClipItem> search(const QString& query, int limit, const QList<ClipItem>& held);
    // Clips created strictly after `since`, oldest first.
    QList<ClipItem> fetchSince(TimePoint since, int limit);

    // Stores a clip from another device as received, unless its id is
    // already present (then nothing changes and it returns false). No
    // duplicate suppression; prunes like insert.
    bool upsertFromSync(const ClipItem& item);

    std::optional<ClipItem> clip(const QUuid& id);
    // The most recently captured clip, pinned or not.
    std::optional<ClipItem> newest();
    // Removes the clip; an unknown id is no error.
    void deleteClip(const QUuid& id);
    void setPinned(const QUuid& id, bool pinned);
    // Changes the limit and prunes to it at once.
    void setMaxItems(int maxItems);
    int maxItems() const { return m_maxItems.load(); }
    // With `unpinnedOnly`, pinned clips stay.
    void deleteAll(bool unpinnedOnly);

    // Every attachment file name a history row names (rich text, image,
    // thumbnail), as stored.
    QSet<QString> attachmentNames();

    DatabaseQueue& dbQueue() { return m_queue; }

    // The favourites, over this store's connection and clock: built on the
    // first call (from any thread, exactly once) and kept for the life of the
    // store. Its tables come from migration "v2", so open the store with
    // FavoriteStoreMigration::registerV2 among the later migrations.
    // Defined by the favourites library (src/favorites): a program calling
    // it links tessik_favorites.
    FavoriteStore& favorites();

private:
    bool shouldSkipDuplicate(const QString& hash);
    void forgetHash(const QString& hash);
    void insertRow(sqlite::Connection& db, const ClipItem& item);
    // Removes the oldest unpinned clips beyond the limit, never the one
    // `justStored` by the same write.
    void prune(sqlite::Connection& db, const std::optional<QUuid>& justStored);
    // Rows matching `filter` (a WHERE clause or nothing), ordered by `order`,
    // at most as many as the last bound argument says.
    // With `held`, texts are shared as fetchRecent(limit, held) says.
    QList<ClipItem> select(const QString& filter, const QString& order,
                           const std::function<void(sqlite::Statement&)>& bindArguments,
                           const QList<ClipItem>* held = nullptr);

    DatabaseQueue m_queue;
    std::atomic<int> m_maxItems;
    Clock m_clock;
    std::mutex m_hashesMutex;
    std::vector<std::pair<QString, TimePoint>> m_recentHashes;
    // Declared after m_queue, which it refers to, so it goes first. A
    // shared_ptr destroys it without this header knowing the type.
    std::once_flag m_favoritesOnce;
    std::shared_ptr<FavoriteStore> m_favorites;
};

} // namespace tessik
