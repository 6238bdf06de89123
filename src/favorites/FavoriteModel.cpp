#include "FavoriteModel.h"

namespace tessik {

size_t qHash(const FavoriteCategory& category, size_t seed) noexcept {
    return qHashMulti(seed, category.id, category.name, category.iconName, category.sortOrder,
                      category.updatedAt);
}

// Each optional contributes whether it is present before its value, so an
// absent value and a present one never hash alike by accident.
size_t qHash(const FavoriteItem& item, size_t seed) noexcept {
    return qHashMulti(seed, item.id, item.categoryId, item.clipId.has_value(),
                      item.clipId.value_or(QUuid()), item.sortOrder, item.addedAt, item.updatedAt,
                      item.snapshotData.has_value(), item.snapshotData.value_or(QByteArray()));
}

} // namespace tessik
