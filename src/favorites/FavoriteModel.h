#pragma once

#include "platform/Clock.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessik {

// A named group of favourites, shown as a tab. A plain value: compared by all
// fields (times exactly), identified in lists by `id`.
struct FavoriteCategory {
    QUuid id;
    QString name;
    QString iconName;  // a symbol name; "folder.fill" for categories the user makes
    qint64 sortOrder = 0;  // position among the categories, ascending
    TimePoint updatedAt = 0;  // last change; decides which side wins a cloud merge

    bool operator==(const FavoriteCategory&) const = default;
};

// One clip filed in a category. It carries a snapshot of the clip, so it
// outlives the history entry it was made from. A plain value: compared by all
// fields (times exactly), identified in lists by `id`.
struct FavoriteItem {
    QUuid id;
    QUuid categoryId;
    std::optional<QUuid> clipId;  // absent when the row or cloud record carries none
    qint64 sortOrder = 0;  // position within the category, ascending
    TimePoint addedAt = 0;
    TimePoint updatedAt = 0;  // made, moved or applied from the cloud
    // The clip's sync payload as a snapshot blob (SyncClipPayload::snapshotData).
    std::optional<QByteArray> snapshotData;

    bool operator==(const FavoriteItem&) const = default;
};

// Every field in declaration order; an absent optional hashes apart from any
// present value.
size_t qHash(const FavoriteCategory& category, size_t seed = 0) noexcept;
size_t qHash(const FavoriteItem& item, size_t seed = 0) noexcept;

// What becomes of a category's favourites when the category is deleted.
// Deleting never touches the clip history, so the two choices without a
// target act alike in the store; they differ only in how they are offered.
class CategoryDeletePolicy {
public:
    enum class Kind { moveItemsToCategory, deleteItemsAndCategory, removeCategoryKeepInHistory };

    // Move the favourites into `target`, then delete the category.
    static CategoryDeletePolicy moveItemsToCategory(const QUuid& target) {
        return CategoryDeletePolicy(Kind::moveItemsToCategory, target);
    }
    static CategoryDeletePolicy deleteItemsAndCategory() {
        return CategoryDeletePolicy(Kind::deleteItemsAndCategory, std::nullopt);
    }
    static CategoryDeletePolicy removeCategoryKeepInHistory() {
        return CategoryDeletePolicy(Kind::removeCategoryKeepInHistory, std::nullopt);
    }

    Kind kind() const { return m_kind; }
    // The target of moveItemsToCategory; none for the other kinds.
    const std::optional<QUuid>& targetCategoryId() const { return m_target; }

    bool operator==(const CategoryDeletePolicy&) const = default;

private:
    CategoryDeletePolicy(Kind kind, std::optional<QUuid> target)
        : m_kind(kind), m_target(std::move(target)) {}

    Kind m_kind;
    std::optional<QUuid> m_target;
};

} // namespace tessik
