#pragma once

#include "platform/Clock.h"
#include "store/Migrator.h"

#include <QList>

namespace tessik::FavoriteStoreMigration {

// Migration "v2": the favourite tables "favorite_categories" and
// "favorite_items", the index "idx_favorite_item_category", and the three
// default categories "常用", "工作" and "代码" sharing one updatedAt taken from
// `clock`. It must run after the clip store's "v1", in the same migration run.
Migration v2(Clock clock = &tessik::now);

// Appends "v2" to a list of later migrations handed to ClipStore, which
// applies them right after its own "v1":
//     QList<Migration> later;
//     FavoriteStoreMigration::registerV2(later);
//     ClipStore store(path, limit, later);
void registerV2(QList<Migration>& migrations);

} // namespace tessik::FavoriteStoreMigration
