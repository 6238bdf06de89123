#include "SyncTestPeers.h"
#include "TestEnvironment.h"
#include "capture/ContentHasher.h"
#include "platform/IOSAppPreferences.h"
#include "platform/UserDefaults.h"
#include "store/ClipStore.h"
#include "sync/SyncCoordinator.h"
#include "sync/SyncEngine.h"
#include "sync/transport/InProcessDiscovery.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace tessik;
using namespace tessik::testing;

namespace {

struct Setup {
    QTemporaryDir dir;
    std::unique_ptr<SyncPeerStore> peers;
    std::shared_ptr<ClipStore> store;
    std::shared_ptr<ManualDiscovery> discovery = std::make_shared<ManualDiscovery>();
    std::unique_ptr<SyncEngine> engine;
    std::unique_ptr<SyncCoordinator> coordinator;
    QStringList statuses;

    Setup() {
        peers = std::make_unique<SyncPeerStore>(dir.filePath(QStringLiteral("sync-config.json")));
        store = std::make_shared<ClipStore>(dir.filePath(QStringLiteral("clips.sqlite")), 100);
        SyncEngine::Options options;
        options.discovery = discovery;
        options.peerStore = peers.get();
        options.deviceId = [] { return QStringLiteral("THIS-DEVICE"); };
        engine = std::make_unique<SyncEngine>(options);
        coordinator = std::make_unique<SyncCoordinator>(*engine);
        QObject::connect(coordinator.get(), &SyncCoordinator::statusMessageChanged,
                         [this] { statuses.append(coordinator->statusMessage()); });
    }
};

ClipItem makeItem(const QString& text) {
    return ClipItem{QUuid::createUuid(), 1.0, QStringLiteral("THIS-DEVICE"), ContentType::plainText,
                    text, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                    false, ContentHasher::hash(text), text.size()};
}

} // namespace

class TestSyncCoordinator : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

private Q_SLOTS:
    void initTestCase() { m_env = std::make_unique<TestEnvironment>(); }

    void init() {
        auto defaults = UserDefaults::open();
        defaults->clear();
        defaults->sync();
    }

    void launchWithSyncEnabled() {
        IOSAppPreferences::setSyncEnabled(true);
        IOSAppPreferences::setSyncDeviceName(QStringLiteral("Desk"));
        Setup s;
        QCOMPARE(s.coordinator->statusMessage(), QStringLiteral("未启动"));
        QVERIFY(s.coordinator->isEnabled());
        s.coordinator->configure(s.store);
        QCOMPARE(s.coordinator->statusMessage(), QStringLiteral("同步服务运行中（自动同步）"));
        QTRY_COMPARE(s.coordinator->statusMessage(), QStringLiteral("同步服务已启动（自动同步）"));
        QVERIFY(s.engine->isRunning());
        QCOMPARE(s.peers->load().deviceName, QStringLiteral("Desk"));

        s.coordinator->setEnabled(false);
        QCOMPARE(s.coordinator->statusMessage(), QStringLiteral("同步已停止"));
        QCOMPARE(s.coordinator->pairingPIN(), std::nullopt);
        QVERIFY(!IOSAppPreferences::syncEnabled());
        QTRY_VERIFY(!s.engine->isRunning());
    }

    void launchWithSyncDisabledStaysStopped() {
        Setup s;
        s.coordinator->configure(s.store);
        QTest::qWait(100);
        QCOMPARE(s.coordinator->statusMessage(), QStringLiteral("未启动"));
        QVERIFY(!s.engine->isRunning());

        // Off: push sends nothing, syncNow says so and finds no peer.
        FakePeer peer(friendly);
        s.discovery->publish({peer.endpoint(QStringLiteral("Peer"))});
        s.coordinator->push(makeItem(QStringLiteral("x")));
        s.coordinator->syncNow();
        QCOMPARE(s.coordinator->statusMessage(), QStringLiteral("正在同步…"));
        QTest::qWait(300);
        QCOMPARE(peer.accepted, 0);
    }

    void deviceNames_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("spaces only") << "  \n " << "";
        QTest::newRow("trimmed") << "  书房电脑 \n" << "书房电脑";
    }
    void deviceNames() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        IOSAppPreferences::setSyncEnabled(true);
        IOSAppPreferences::setSyncDeviceName(QStringLiteral("Before"));
        Setup s;
        s.coordinator->configure(s.store);
        s.coordinator->setDeviceName(typed);
        const QString expected = stored.isEmpty() ? QStringLiteral("Before") : stored;
        QCOMPARE(s.coordinator->deviceName(), expected);
        QCOMPARE(IOSAppPreferences::syncDeviceName(), expected);
        QTRY_COMPARE(s.peers->load().deviceName, expected);
    }

    void pinOffPullsFromEveryPeer() {
        IOSAppPreferences::setSyncEnabled(true);
        IOSAppPreferences::setSyncRequirePIN(true);
        Setup s;
        FakePeer peer(friendly);
        s.coordinator->configure(s.store);
        QTRY_COMPARE(s.coordinator->statusMessage(), QStringLiteral("同步服务已启动（需 PIN 配对）"));
        s.discovery->publish({peer.endpoint(QStringLiteral("Peer"))});
        QTest::qWait(200);
        QCOMPARE(peer.accepted, 0);  // PIN mode: strangers are not asked
        s.coordinator->setRequirePIN(false);
        QVERIFY(!IOSAppPreferences::syncRequirePIN());
        QTRY_COMPARE(peer.pulls().size(), 1);
        QCOMPARE(peer.pulls().first().since, 0.0);

        s.coordinator->push(makeItem(QStringLiteral("pushed")));
        QTRY_COMPARE(peer.count(QStringLiteral("pushRequest")), 1);
    }

    void pairingThroughTheCoordinator() {
        IOSAppPreferences::setSyncEnabled(true);
        IOSAppPreferences::setSyncRequirePIN(true);
        auto shared = std::make_shared<net::InProcessDiscovery>();
        Setup mine, theirs;
        // The coordinators go before the engines they drive.
        mine.coordinator.reset();
        theirs.coordinator.reset();
        mine.engine.reset();
        SyncEngine::Options a;
        a.discovery = shared;
        a.peerStore = mine.peers.get();
        a.deviceId = [] { return QStringLiteral("MINE"); };
        SyncEngine::Options b = a;
        b.peerStore = theirs.peers.get();
        b.deviceId = [] { return QStringLiteral("THEIRS"); };
        theirs.engine.reset();
        mine.engine = std::make_unique<SyncEngine>(a);
        theirs.engine = std::make_unique<SyncEngine>(b);
        mine.coordinator = std::make_unique<SyncCoordinator>(*mine.engine);
        theirs.coordinator = std::make_unique<SyncCoordinator>(*theirs.engine);
        theirs.coordinator->setDeviceName(QStringLiteral("Theirs"));
        mine.coordinator->configure(mine.store);
        theirs.coordinator->configure(theirs.store);

        const QString pin = theirs.coordinator->generatePairingPIN();
        QCOMPARE(theirs.coordinator->pairingPIN(), std::optional<QString>(pin));
        QTRY_VERIFY(std::any_of(mine.coordinator->discoveredPeers().begin(),
                                mine.coordinator->discoveredPeers().end(),
                                [](const DiscoveredPeer& p) { return p.name == QLatin1String("Theirs"); }));
        const QList<DiscoveredPeer> peers = mine.coordinator->discoveredPeers();
        const DiscoveredPeer target = *std::find_if(peers.begin(), peers.end(), [](const DiscoveredPeer& p) {
            return p.name == QLatin1String("Theirs");
        });

        mine.coordinator->pair(target, QStringLiteral("000000") == pin ? QStringLiteral("111111") : QStringLiteral("000000"));
        QVERIFY(mine.coordinator->isPairing());
        QTRY_VERIFY(!mine.coordinator->isPairing());
        QCOMPARE(mine.coordinator->pairError(), std::optional<QString>(QStringLiteral("配对码无效或已过期")));

        mine.coordinator->pair(target, pin);
        QTRY_VERIFY(!mine.coordinator->isPairing());
        QCOMPARE(mine.coordinator->pairError(), std::nullopt);
        QTRY_COMPARE(mine.coordinator->statusMessage(), QStringLiteral("已与 Theirs 配对"));
        QTRY_COMPARE(mine.coordinator->pairedDevices().size(), 1);
        QTRY_COMPARE(theirs.coordinator->pairedDevices().size(), 1);

        mine.coordinator->removePairedDevice(QStringLiteral("THEIRS"));
        QTRY_VERIFY(mine.coordinator->pairedDevices().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSyncCoordinator)
#include "tst_synccoordinator.moc"
