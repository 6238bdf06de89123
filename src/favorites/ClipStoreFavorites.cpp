// ClipStore::favorites lives with the favourites: the store library sits
// below this one in the link order and cannot build a FavoriteStore itself.

#include "favorites/FavoriteStore.h"
#include "store/ClipStore.h"

namespace tessik {

FavoriteStore& ClipStore::favorites() {
    std::call_once(m_favoritesOnce,
                   [this] { m_favorites = std::make_shared<FavoriteStore>(m_queue, m_clock); });
    return *m_favorites;
}

} // namespace tessik
