#pragma once

#include "TestEnvironment.h"
#include "platform/Clock.h"
#include "store/ClipStore.h"

#include <QObject>
#include <QTemporaryDir>

#include <memory>

namespace tessik {
class FavoriteStore;
}

// Declared apart from the test bodies, which hold literals moc trips over.
class TestFavoriteStore : public QObject {
    Q_OBJECT

public:
    tessik::ClipStore& clipStore() { return *m_clipStore; }
    tessik::FavoriteStore& favorites();
    std::unique_ptr<tessik::ClipStore> openClipStore();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<tessik::ClipStore> m_clipStore;
    tessik::TimePoint m_now = 0;

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void newDatabaseHoldsTheDefaultCategories();
    void schemaIsExactlyAsWritten();
    void modelEqualityAndHashing();
    void rowMapping_data();
    void rowMapping();
    void storedRowsWithUnreadableIds();
    void createCategory_data();
    void createCategory();
    void newCategoriesGoLastAndStartAtZeroWhenNoneAreLeft();
    void equalSortOrdersListByteWise();
    void updateCategory();
    void deleteCategoryWithoutTarget_data();
    void deleteCategoryWithoutTarget();
    void deleteCategoryMovingItems();
    void deleteCategoryMovingIntoItselfOrNowhere();
    void addClipKeepsOneItemPerCategory();
    void addClipToAMissingCategoryFails();
    void itemsWithEqualSortOrderListNewestFirst();
    void moveClip_data();
    void moveClip();
    void clipsPreferTheHistoryAndFallBackToSnapshots();
    void clipsSkipItemsWithoutAClip();
    void upsertsFromSyncLetTheLastWriterWin_data();
    void upsertsFromSyncLetTheLastWriterWin();
    void upsertItemIntoAMissingCategoryFails();
    void favoritesIsOneObjectBuiltOnce();
};
