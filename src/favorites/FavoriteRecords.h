#pragma once

#include "favorites/FavoriteModel.h"
#include "store/Sqlite.h"

#include <optional>

namespace tessik {

// A row of "favorite_categories", field for field as the columns are stored.
struct FavoriteCategoryRecord {
    static inline const QString tableName = QStringLiteral("favorite_categories");
    // The five columns in table order, for SELECT and INSERT lists.
    static inline const QString columnList =
        QStringLiteral("id, name, iconName, sortOrder, updatedAt");

    QString id;
    QString name;
    QString iconName;
    qint64 sortOrder = 0;
    double updatedAt = 0;  // seconds since 1970

    static FavoriteCategoryRecord fromCategory(const FavoriteCategory& category);
    // A row whose id is not a UUID gets a fresh random id in the category (the
    // row is not changed, so it shows another id at every read).
    FavoriteCategory toCategory() const;

    // Reads the current row of a statement that selected columnList.
    static FavoriteCategoryRecord read(const sqlite::Statement& statement);
    // Binds the five values to ?1..?5 in column order.
    void bind(sqlite::Statement& statement) const;
};

// A row of "favorite_items", field for field as the columns are stored.
struct FavoriteItemRecord {
    static inline const QString tableName = QStringLiteral("favorite_items");
    // The seven columns in table order, for SELECT and INSERT lists.
    static inline const QString columnList =
        QStringLiteral("id, categoryId, clipId, sortOrder, addedAt, updatedAt, snapshotData");

    QString id;
    QString categoryId;
    std::optional<QString> clipId;  // NULL when absent
    qint64 sortOrder = 0;
    double addedAt = 0;  // seconds since 1970
    double updatedAt = 0;  // seconds since 1970
    std::optional<QByteArray> snapshotData;  // NULL when absent

    static FavoriteItemRecord fromItem(const FavoriteItem& item);
    // `id` and `categoryId` that are not UUIDs become fresh random ids; a
    // `clipId` that is not a UUID reads as absent.
    FavoriteItem toItem() const;

    // Reads the current row of a statement that selected columnList.
    static FavoriteItemRecord read(const sqlite::Statement& statement);
    // Binds the seven values to ?1..?7 in column order.
    void bind(sqlite::Statement& statement) const;
};

} // namespace tessik
