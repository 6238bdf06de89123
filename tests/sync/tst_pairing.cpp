#include "TestEnvironment.h"
#include "platform/DeviceNaming.h"
#include "platform/Uuid.h"
#include "sync/PairingManager.h"
#include "sync/SyncConstants.h"
#include "sync/SyncPeerStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tessik;

class TestPairing : public QObject {
    Q_OBJECT

    TimePoint m_now = 1'800'000'000.0;
    quint32 m_draw = 42;

    PairingManager manager() {
        return PairingManager([this] { return m_now; }, [this] { return m_draw; });
    }

private Q_SLOTS:
    void init() {
        m_now = 1'800'000'000.0;
        m_draw = 42;
    }

    void pinIsSixDigitsAndExpires() {
        PairingManager pairing = manager();
        QCOMPARE(pairing.currentPIN(), std::nullopt);
        QCOMPARE(pairing.generatePIN(), QStringLiteral("000042"));
        QCOMPARE(pairing.currentPIN(), std::optional<QString>(QStringLiteral("000042")));
        m_now += 299;
        const std::optional<QString> token = pairing.verifyPIN(QStringLiteral("000042"), "A", "Phone");
        QVERIFY(token && parseUuid(*token) && *token == token->toUpper());
        QVERIFY(pairing.isValidToken(*token));

        pairing.generatePIN();
        m_now += 300;  // the very instant of expiry
        QCOMPARE(pairing.verifyPIN(QStringLiteral("000042"), "B", "Tablet"), std::nullopt);
        QCOMPARE(pairing.currentPIN(), std::nullopt);
    }

    void pinPairsOneDeviceAndIsReplaced() {
        PairingManager pairing = manager();
        const QString first = pairing.generatePIN();
        m_draw = 999'999;
        QCOMPARE(pairing.generatePIN(), QStringLiteral("999999"));
        QCOMPARE(pairing.verifyPIN(first, "A", "Phone"), std::nullopt);  // replaced
        QCOMPARE(pairing.verifyPIN(QStringLiteral("123456"), "A", "Phone"), std::nullopt);
        QVERIFY(pairing.verifyPIN(QStringLiteral("999999"), "A", "Phone"));  // a wrong try did not use it
        QCOMPARE(pairing.verifyPIN(QStringLiteral("999999"), "B", "Tablet"), std::nullopt);
    }

    void wrongTriesWithdrawThePin() {
        PairingManager pairing = manager();
        const QString pin = pairing.generatePIN();
        for (int i = 0; i < PairingManager::maxWrongAttempts - 1; ++i) {
            QCOMPARE(pairing.verifyPIN(QString::number(100000 + i), "X", "Guesser"), std::nullopt);
        }
        QCOMPARE(pairing.currentPIN(), std::optional<QString>(pin));  // nine wrong tries: still on offer
        QCOMPARE(pairing.verifyPIN(QStringLiteral("111111"), "X", "Guesser"), std::nullopt);
        QCOMPARE(pairing.currentPIN(), std::nullopt);
        QCOMPARE(pairing.verifyPIN(pin, "X", "Guesser"), std::nullopt);
        QCOMPARE(pairing.generatePIN(), pin);  // a new offer starts a new count
        QVERIFY(pairing.verifyPIN(pin, "A", "Phone"));
    }

    void tokensPerDevice() {
        PairingManager pairing = manager();
        pairing.storeToken("T1", "A", "Phone");
        m_now += 3600;
        pairing.storeToken("T2", "B", "Tablet");
        m_now += 60;
        pairing.storeToken("T3", "A", "Phone renamed");  // re-pairing replaces the token
        QVERIFY(!pairing.isValidToken("T1"));
        QVERIFY(pairing.isValidToken("T3"));
        const QList<PairedDeviceRecord> devices = pairing.pairedDevices();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices.at(0).deviceId, QStringLiteral("A"));  // newest pairing first
        QCOMPARE(devices.at(0).deviceName, QStringLiteral("Phone renamed"));
        QCOMPARE(devices.at(1).deviceId, QStringLiteral("B"));

        pairing.revoke("unknown");
        QCOMPARE(pairing.pairedDevices().size(), 2);
        pairing.revoke("B");
        QVERIFY(!pairing.isValidToken("T2"));

        pairing.load({PairedDeviceRecord{"C", "Laptop", "T9", 1.0, std::nullopt, std::nullopt}});
        QVERIFY(!pairing.isValidToken("T3"));
        QVERIFY(pairing.isValidToken("T9"));
    }

    void tokenCheck_data() {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("requirePIN");
        QTest::addColumn<bool>("served");
        QTest::newRow("trust token, no PIN") << SyncConstants::lanTrustToken << false << true;
        QTest::newRow("trust token, PIN required") << SyncConstants::lanTrustToken << true << false;
        QTest::newRow("paired token, PIN required") << "PAIRED" << true << true;
        QTest::newRow("paired token, no PIN") << "PAIRED" << false << true;
        QTest::newRow("unknown token") << "OTHER" << false << false;
        QTest::newRow("empty token") << "" << false << false;
    }
    void tokenCheck() {
        QFETCH(QString, token);
        QFETCH(bool, requirePIN);
        QFETCH(bool, served);
        PairingManager pairing = manager();
        pairing.storeToken("PAIRED", "A", "Phone");
        QCOMPARE(pairing.authorizes(token, requirePIN), served);
    }

    void peerStoreReadsAndWrites() {
        QTemporaryDir dir;
        SyncPeerStore store(dir.filePath(QStringLiteral("sync-config.json")));
        // No file: the default, and no file made.
        QCOMPARE(store.load(), (SyncConfigFile{{}, DeviceNaming::defaultSyncName()}));
        QVERIFY(!QFile::exists(store.url()));

        const PairedDeviceRecord a{"A", "Phone", "TA", 978'307'201.5, std::nullopt, std::nullopt};
        const PairedDeviceRecord b{"B", "Tablet", "TB", 978'307'300.0, 978'307'400.0, "Tablet@x"};
        store.updateDeviceName(QStringLiteral("书房"));
        store.upsertPairedDevice(a);
        store.upsertPairedDevice(b);
        PairedDeviceRecord renamed = a;
        renamed.deviceName = QStringLiteral("Phone 2");
        store.upsertPairedDevice(renamed);  // in place
        QCOMPARE(store.load(), (SyncConfigFile{{renamed, b}, QStringLiteral("书房")}));
        QCOMPARE(QFile(store.url()).permissions(),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                     QFileDevice::WriteUser);

        store.removePairedDevice("unknown");
        QCOMPARE(store.load().pairedDevices.size(), 2);
        store.removePairedDevice("A");
        QCOMPARE(store.load(), (SyncConfigFile{{b}, QStringLiteral("书房")}));

        QFile file(store.url());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY2(text.contains(R"("deviceName":"书房")"), text.constData());
        QVERIFY(text.contains(R"("lastSeenAt":200)"));  // seconds since 2001
    }

    void unreadableFilesReadAsDefault_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing deviceName") << QByteArray(
            R"({"pairedDevices":[{"deviceId":"A","deviceName":"P","token":"T","pairedAt":1}]})");
        QTest::newRow("not JSON") << QByteArray("garbage");
        QTest::newRow("record without token")
            << QByteArray(R"({"deviceName":"x","pairedDevices":[{"deviceId":"A","deviceName":"P","pairedAt":1}]})");
        QTest::newRow("devices not an array") << QByteArray(R"({"deviceName":"x","pairedDevices":{}})");
    }
    void unreadableFilesReadAsDefault() {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        SyncPeerStore store(dir.filePath(QStringLiteral("sync-config.json")));
        QFile file(store.url());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QCOMPARE(store.load(), (SyncConfigFile{{}, DeviceNaming::defaultSyncName()}));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);  // load never writes
    }
};

QTEST_GUILESS_MAIN(TestPairing)
#include "tst_pairing.moc"
