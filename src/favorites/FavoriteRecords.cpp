#include "FavoriteRecords.h"

#include "platform/Uuid.h"

namespace tessik {

namespace {

QUuid uuidOrFresh(const QString& text) {
    const std::optional<QUuid> id = parseUuid(text);
    return id ? *id : QUuid::createUuid();
}

} // namespace

FavoriteCategoryRecord FavoriteCategoryRecord::fromCategory(const FavoriteCategory& category) {
    return FavoriteCategoryRecord{uuidText(category.id), category.name, category.iconName,
                                  category.sortOrder, category.updatedAt};
}

FavoriteCategory FavoriteCategoryRecord::toCategory() const {
    return FavoriteCategory{uuidOrFresh(id), name, iconName, sortOrder, updatedAt};
}

FavoriteCategoryRecord FavoriteCategoryRecord::read(const sqlite::Statement& s) {
    return FavoriteCategoryRecord{s.text(0), s.text(1), s.text(2), s.integer(3), s.real(4)};
}

void FavoriteCategoryRecord::bind(sqlite::Statement& s) const {
    s.bind(1, id).bind(2, name).bind(3, iconName).bind(4, sortOrder).bind(5, updatedAt);
}

FavoriteItemRecord FavoriteItemRecord::fromItem(const FavoriteItem& item) {
    return FavoriteItemRecord{
        uuidText(item.id),
        uuidText(item.categoryId),
        item.clipId ? std::optional<QString>(uuidText(*item.clipId)) : std::nullopt,
        item.sortOrder,
        item.addedAt,
        item.updatedAt,
        item.snapshotData,
    };
}

FavoriteItem FavoriteItemRecord::toItem() const {
    return FavoriteItem{
        uuidOrFresh(id),
        uuidOrFresh(categoryId),
        clipId ? parseUuid(*clipId) : std::nullopt,
        sortOrder,
        addedAt,
        updatedAt,
        snapshotData,
    };
}

FavoriteItemRecord FavoriteItemRecord::read(const sqlite::Statement& s) {
    return FavoriteItemRecord{
        s.text(0),
        s.text(1),
        s.optionalText(2),
        s.integer(3),
        s.real(4),
        s.real(5),
        s.isNull(6) ? std::nullopt : std::optional<QByteArray>(s.blob(6)),
    };
}

void FavoriteItemRecord::bind(sqlite::Statement& s) const {
    s.bind(1, id).bind(2, categoryId).bind(3, clipId).bind(4, sortOrder).bind(5, addedAt).bind(
        6, updatedAt);
    if (snapshotData) {
        s.bind(7, *snapshotData);
    } else {
        s.bindNull(7);
    }
}

} // namespace tessik
