#include "TestEnvironment.h"
#include "platform/AppPaths.h"
#include "platform/DeviceNaming.h"
#include "platform/IOSAppPreferences.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/Uuid.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>

using namespace tessik;

class TestPreferences : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

    static void storeRaw(const QString& key, const QVariant& value) {
        auto defaults = UserDefaults::open();
        defaults->setValue(key, value);
        defaults->sync();
    }

private Q_SLOTS:
    void initTestCase() {
        m_env = std::make_unique<TestEnvironment>();
        NotificationCenter::defaultCenter();  // lives on the main thread
    }

    void init() {
        auto defaults = UserDefaults::open();
        defaults->clear();
        defaults->sync();
    }

    void foldersLiveUnderTheXdgDataHome() {
        const QString support = AppPaths::appSupportDirectory();
        QCOMPARE(support, m_env->dataHome() + QStringLiteral("/tessik"));
        QVERIFY(QFileInfo(support).isDir());
        QCOMPARE(AppPaths::attachmentsDirectory(), support + QStringLiteral("/attachments"));
        QVERIFY(QFileInfo(AppPaths::attachmentsDirectory()).isDir());
        QCOMPARE(AppPaths::databaseURL(), support + QStringLiteral("/clips.sqlite"));
        QVERIFY(UserDefaults::open()->fileName().startsWith(m_env->configHome()));
    }

    void historyLimitReadRule_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("absent") << QVariant() << 500;
        QTest::newRow("100") << QVariant(100) << 100;
        QTest::newRow("200") << QVariant(200) << 200;
        QTest::newRow("1000") << QVariant(1000) << 1000;
        QTest::newRow("300 is not offered") << QVariant(300) << 500;
        QTest::newRow("0") << QVariant(0) << 500;
        QTest::newRow("negative") << QVariant(-100) << 500;
        QTest::newRow("text") << QVariant(QStringLiteral("lots")) << 500;
    }
    void historyLimitReadRule() {
        QFETCH(QVariant, stored);
        QFETCH(int, expected);
        if (stored.isValid()) {
            storeRaw(QStringLiteral("historyLimit"), stored);
        }
        QCOMPARE(IOSAppPreferences::historyLimit(), expected);
    }

    void historyLimitWriteStoresUncheckedValue() {
        IOSAppPreferences::setHistoryLimit(300);
        QCOMPARE(UserDefaults::open()->value(QStringLiteral("historyLimit")).toInt(), 300);
        QCOMPARE(IOSAppPreferences::historyLimit(), 500);
        QCOMPARE(IOSAppPreferences::allowedHistoryLimits(), (QList<int>{100, 200, 500, 1000}));
    }

    void booleansDefaultToFalseAndRoundTrip() {
        QVERIFY(!IOSAppPreferences::isPausedRecording());
        QVERIFY(!IOSAppPreferences::syncEnabled());
        QVERIFY(!IOSAppPreferences::syncRequirePIN());
        QVERIFY(!IOSAppPreferences::favoriteCloudSyncEnabled());
        IOSAppPreferences::setIsPausedRecording(true);
        IOSAppPreferences::setSyncEnabled(true);
        IOSAppPreferences::setSyncRequirePIN(true);
        IOSAppPreferences::setFavoriteCloudSyncEnabled(true);
        QVERIFY(IOSAppPreferences::isPausedRecording());
        QVERIFY(IOSAppPreferences::syncEnabled());
        QVERIFY(IOSAppPreferences::syncRequirePIN());
        QVERIFY(IOSAppPreferences::favoriteCloudSyncEnabled());
    }

    void syncDeviceNameFallsBackToTheHostName() {
        QVERIFY(!DeviceNaming::defaultSyncName().isEmpty());
        QCOMPARE(IOSAppPreferences::syncDeviceName(), DeviceNaming::defaultSyncName());
        IOSAppPreferences::setSyncDeviceName(QStringLiteral("书房的电脑"));
        QCOMPARE(IOSAppPreferences::syncDeviceName(), QStringLiteral("书房的电脑"));
        IOSAppPreferences::setSyncDeviceName(QString());
        QCOMPARE(IOSAppPreferences::syncDeviceName(), DeviceNaming::defaultSyncName());
    }

    void lastFavoriteCategoryNoneRemovesTheKey() {
        QCOMPARE(IOSAppPreferences::lastFavoriteCategoryID(), std::nullopt);
        const QString id = uuidText(QUuid::createUuid());
        IOSAppPreferences::setLastFavoriteCategoryID(id);
        QCOMPARE(IOSAppPreferences::lastFavoriteCategoryID(), std::optional<QString>(id));
        IOSAppPreferences::setLastFavoriteCategoryID(std::nullopt);
        QVERIFY(!UserDefaults::open()->contains(QStringLiteral("lastFavoriteCategoryID")));
        QCOMPARE(IOSAppPreferences::lastFavoriteCategoryID(), std::nullopt);
    }

    void writesPostTheirNotification_data() {
        QTest::addColumn<int>("write");
        QTest::addColumn<QString>("expected");
        QTest::newRow("syncEnabled") << 0 << NotificationCenter::syncPreferenceChanged;
        QTest::newRow("syncRequirePIN") << 1 << NotificationCenter::syncPreferenceChanged;
        QTest::newRow("syncDeviceName") << 2 << NotificationCenter::syncPreferenceChanged;
        QTest::newRow("favoriteCloudSyncEnabled")
            << 3 << NotificationCenter::favoriteCloudSyncPreferenceChanged;
        QTest::newRow("historyLimit") << 4 << QString();
        QTest::newRow("isPausedRecording") << 5 << QString();
        QTest::newRow("lastFavoriteCategoryID") << 6 << QString();
    }
    void writesPostTheirNotification() {
        QFETCH(int, write);
        QFETCH(QString, expected);
        QSignalSpy spy(&NotificationCenter::defaultCenter(), &NotificationCenter::posted);
        // Written twice with the same value: the notification comes every time.
        for (int i = 0; i < 2; ++i) {
            switch (write) {
            case 0: IOSAppPreferences::setSyncEnabled(false); break;
            case 1: IOSAppPreferences::setSyncRequirePIN(false); break;
            case 2: IOSAppPreferences::setSyncDeviceName(QStringLiteral("x")); break;
            case 3: IOSAppPreferences::setFavoriteCloudSyncEnabled(false); break;
            case 4: IOSAppPreferences::setHistoryLimit(100); break;
            case 5: IOSAppPreferences::setIsPausedRecording(false); break;
            case 6: IOSAppPreferences::setLastFavoriteCategoryID(std::nullopt); break;
            }
        }
        if (expected.isEmpty()) {
            QCOMPARE(spy.count(), 0);
        } else {
            QCOMPARE(spy.count(), 2);
            QCOMPARE(spy.at(0).at(0).toString(), expected);
            QCOMPARE(spy.at(1).at(0).toString(), expected);
        }
    }

    void deviceIdIsCreatedOnceAsUpperCaseUuid() {
        const QString first = AppPaths::deviceId();
        QVERIFY(parseUuid(first).has_value());
        QCOMPARE(first, first.toUpper());
        QCOMPARE(UserDefaults::open()->value(QStringLiteral("deviceId")).toString(), first);
        QCOMPARE(AppPaths::deviceId(), first);
    }

    void deviceIdIsReadAtEveryUse() {
        storeRaw(QStringLiteral("deviceId"), QStringLiteral("SET-BY-ANOTHER-PROCESS"));
        QCOMPARE(AppPaths::deviceId(), QStringLiteral("SET-BY-ANOTHER-PROCESS"));
    }

    void observersRunOnTheirContextThread() {
        QObject context;
        int calls = 0;
        QThread* seenOn = nullptr;
        NotificationCenter::defaultCenter().addObserver(
            NotificationCenter::clipStoreDidChange, &context, [&] {
                ++calls;
                seenOn = QThread::currentThread();
            });
        NotificationCenter::defaultCenter().post(NotificationCenter::favoriteStoreDidChange);
        QCOMPARE(calls, 0);  // other names do not reach it

        std::unique_ptr<QThread> poster(QThread::create(
            [] { NotificationCenter::defaultCenter().post(NotificationCenter::clipStoreDidChange); }));
        poster->start();
        poster->wait();
        QCOMPARE(calls, 0);  // queued: it runs from the main event loop
        QTRY_COMPARE(calls, 1);
        QCOMPARE(seenOn, QThread::currentThread());
    }

    void observersEndWithTheirContext() {
        int calls = 0;
        {
            QObject context;
            NotificationCenter::defaultCenter().addObserver(NotificationCenter::clipStoreDidChange,
                                                            &context, [&] { ++calls; });
            NotificationCenter::defaultCenter().post(NotificationCenter::clipStoreDidChange);
            QCOMPARE(calls, 1);
        }
        NotificationCenter::defaultCenter().post(NotificationCenter::clipStoreDidChange);
        QCOMPARE(calls, 1);
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
