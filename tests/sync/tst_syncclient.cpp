#include "tst_syncclient.h"

#include "TestEnvironment.h"
#include "capture/ContentHasher.h"
#include "platform/NotificationCenter.h"
#include "platform/Uuid.h"
#include "store/ClipStore.h"
#include "sync/SyncConstants.h"
#include "sync/SyncEngine.h"
#include "sync/SyncError.h"
#include "sync/SyncWireCodec.h"
#include "sync/transport/InProcessDiscovery.h"
#include "SyncTestPeers.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>

using namespace tessik;
using namespace tessik::testing;

namespace {

std::unique_ptr<TestEnvironment> environment;

ClipItem makeItem(const QString& text, TimePoint createdAt) {
    return ClipItem{QUuid::createUuid(), createdAt, QStringLiteral("PEER"), ContentType::plainText,
                    text, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                    false, ContentHasher::hash(text), text.toUtf8().size()};
}

struct Device {
    QTemporaryDir dir;
    std::unique_ptr<SyncPeerStore> peers;
    std::shared_ptr<ClipStore> store;
    std::unique_ptr<SyncEngine> engine;
};

std::atomic<double> clockNow{1'800'000'000.0};
std::shared_ptr<ManualDiscovery> manual;
std::unique_ptr<Device> device;

std::unique_ptr<Device> makeDevice(const QString& id, std::shared_ptr<net::Discovery> discovery,
                                   SyncEngine::Options options = {},
                                   const std::optional<SyncConfigFile>& saved = std::nullopt) {
    auto d = std::make_unique<Device>();
    d->peers = std::make_unique<SyncPeerStore>(d->dir.filePath(QStringLiteral("sync-config.json")));
    if (saved) {
        d->peers->save(*saved);
    }
    d->store = std::make_shared<ClipStore>(d->dir.filePath(QStringLiteral("clips.sqlite")), 1000);
    options.discovery = std::move(discovery);
    options.peerStore = d->peers.get();
    options.deviceId = [id] { return id; };
    options.clock = [] { return clockNow.load(); };
    d->engine = std::make_unique<SyncEngine>(options);
    d->engine->configure(d->store);
    return d;
}

} // namespace

void TestSyncClient::initTestCase() {
    environment = std::make_unique<TestEnvironment>();
    NotificationCenter::defaultCenter();
}

void TestSyncClient::init() {
    clockNow = 1'800'000'000.0;
    manual = std::make_shared<ManualDiscovery>();
    device = makeDevice(QStringLiteral("THIS-DEVICE"), manual);
}

void TestSyncClient::cleanup() {
    device.reset();
    manual.reset();
}

void TestSyncClient::automaticSyncIsDebounced() {
    FakePeer peer(friendly);
    device->engine->start(false);
    manual->publish({peer.endpoint(QStringLiteral("Peer"))});
    QTRY_COMPARE(peer.pulls().size(), 1);
    QCOMPARE(peer.pulls().at(0).since, 0.0);  // first sync with a device: everything
    QCOMPARE(peer.pulls().at(0).token, SyncConstants::lanTrustToken);
    const double firstPullStarted = clockNow.load();

    clockNow = clockNow + 5;
    manual->publish({peer.endpoint(QStringLiteral("Peer"))});
    QTest::qWait(300);
    QCOMPARE(peer.count(QStringLiteral("health")), 1);  // within 20 s of the last one

    clockNow = clockNow + 20;  // 25 s after the first finished
    manual->publish({peer.endpoint(QStringLiteral("Peer"))});
    QTRY_COMPARE(peer.pulls().size(), 2);
    QCOMPARE(peer.count(QStringLiteral("health")), 2);
    QCOMPARE(peer.pulls().at(1).since, firstPullStarted);  // since the previous pull started
}

void TestSyncClient::forcedPullsSkipSyncsUnderWay() {
    FakePeer peer(friendly);
    FakePeer silent([](const M&) { return std::nullopt; });  // never answers health
    device->engine->start(false);
    manual->publish({peer.endpoint(QStringLiteral("Peer")), silent.endpoint(QStringLiteral("Silent"))});
    QTRY_COMPARE(peer.pulls().size(), 1);
    QTRY_COMPARE(silent.count(QStringLiteral("health")), 1);

    device->engine->pullFromAllPeers();  // within 20 s: forced anyway
    QTRY_COMPARE(peer.pulls().size(), 2);
    QCOMPARE(peer.pulls().at(1).since, 0.0);
    QTest::qWait(300);
    QCOMPARE(silent.accepted, 1);  // its first sync is still under way
}

void TestSyncClient::ownServiceIsDetectedAndSkipped() {
    FakePeer mirror([](const M& request) -> std::optional<M> {
        if (std::holds_alternative<M::Health>(request.value)) {
            return M{M::HealthResponse{true, QStringLiteral("Me"), QStringLiteral("THIS-DEVICE")}};
        }
        return friendly(request);
    });
    device->engine->start(false);
    manual->publish({mirror.endpoint(QStringLiteral("Me"))});
    QTRY_COMPARE(mirror.count(QStringLiteral("health")), 1);
    QTest::qWait(200);
    QCOMPARE(mirror.pulls().size(), 0);

    clockNow = clockNow + 60;
    device->engine->pullFromAllPeers();
    device->engine->pushClip(makeItem(QStringLiteral("new"), 1.0));
    QTest::qWait(400);
    QCOMPARE(mirror.requests.size(), 1);  // nothing more went to itself
}

void TestSyncClient::pushesGoToEveryOtherPeer() {
    FakePeer first(friendly), second(friendly);
    device->engine->start(false);
    manual->publish({first.endpoint(QStringLiteral("A")), second.endpoint(QStringLiteral("B"))});
    QTRY_COMPARE(first.pulls().size() + second.pulls().size(), 2);
    const ClipItem item = makeItem(QStringLiteral("pushed"), 2.0);
    device->engine->pushClip(item);
    QTRY_COMPARE(first.count(QStringLiteral("pushRequest")), 1);
    QTRY_COMPARE(second.count(QStringLiteral("pushRequest")), 1);
    const auto& push = std::get<M::PushRequest>(first.requests.last().value);
    QCOMPARE(push.clip.item, item);
    QCOMPARE(push.token, SyncConstants::lanTrustToken);

    device->engine->stop();
    QTRY_VERIFY(!device->engine->isRunning());
    device->engine->pushClip(item);  // a stopped engine sends nothing
    QTest::qWait(300);
    QCOMPARE(first.count(QStringLiteral("pushRequest")), 1);
}

void TestSyncClient::pinModeReachesPairedDevicesOnly() {
    FakePeer byDescription(friendly), byName(friendly), stranger(friendly);
    // Three pairings: one found by its endpoint text, one by its name inside
    // a peer id, one nowhere to be found.
    const SyncConfigFile pairings{
        {PairedDeviceRecord{"D1", "Desk", "T1", 3.0, std::nullopt, byDescription.endpoint("Desk-x").endpointDescription},
         PairedDeviceRecord{"D2", "Laptop", "T2", 2.0, std::nullopt, std::nullopt},
         PairedDeviceRecord{"D3", "Phone", "T3", 1.0, std::nullopt, std::nullopt}},
        QStringLiteral("Me")};
    device = makeDevice(QStringLiteral("THIS-DEVICE"), manual, {}, pairings);
    device->engine->start(true);
    manual->publish({byDescription.endpoint(QStringLiteral("Desk-x")),
                     byName.endpoint(QStringLiteral("My Laptop")),
                     stranger.endpoint(QStringLiteral("Other"))});
    QTest::qWait(300);
    QCOMPARE(byName.accepted + byDescription.accepted + stranger.accepted, 0);  // no automatic sync

    device->engine->pullFromAllPeers();
    QTRY_COMPARE(byDescription.pulls().size(), 1);
    QTRY_COMPARE(byName.pulls().size(), 1);
    QCOMPARE(byDescription.pulls().at(0).token, QStringLiteral("T1"));
    QCOMPARE(byName.pulls().at(0).token, QStringLiteral("T2"));
    QCOMPARE(byName.pulls().at(0).since, 0.0);

    device->engine->pushClip(makeItem(QStringLiteral("secret"), 1.0));
    QTRY_COMPARE(byName.count(QStringLiteral("pushRequest")), 1);
    QTRY_COMPARE(byDescription.count(QStringLiteral("pushRequest")), 1);
    QTest::qWait(200);
    QCOMPARE(stranger.accepted, 0);  // never told anything
}

void TestSyncClient::pairingSucceedsAndPulls() {
    // Two real engines in one process, the other requiring a PIN.
    auto discovery = std::make_shared<net::InProcessDiscovery>();
    device = makeDevice(QStringLiteral("THIS-DEVICE"), discovery);
    auto other = makeDevice(QStringLiteral("OTHER-DEVICE"), discovery);
    other->engine->setDeviceName(QStringLiteral("Other"));
    device->engine->setDeviceName(QStringLiteral("Mine"));
    const ClipItem theirs = makeItem(QStringLiteral("on the other device"), 10.0);
    other->store->upsertFromSync(theirs);
    QList<DiscoveredPeer> peers;
    device->engine->onPeersUpdated = [&](const QList<DiscoveredPeer>& list) { peers = list; };
    other->engine->start(true);
    device->engine->start(true);
    QTRY_VERIFY(std::any_of(peers.begin(), peers.end(), [](const DiscoveredPeer& p) { return p.name == "Other"; }));
    const DiscoveredPeer target = *std::find_if(peers.begin(), peers.end(),
                                                [](const DiscoveredPeer& p) { return p.name == "Other"; });
    const QString pin = other->engine->generatePairingPIN();

    std::optional<SyncEngine::PairingResult> result;
    device->engine->pair(target, pin, [&](const SyncEngine::PairingResult& r) { result = r; });
    QTRY_VERIFY(result.has_value());
    if (const auto* error = std::get_if<std::shared_ptr<const Error>>(&*result)) {
        QFAIL(qPrintable((*error)->description()));
    }
    const PairedDeviceRecord record = std::get<PairedDeviceRecord>(*result);
    QCOMPARE(record.deviceId, QStringLiteral("OTHER-DEVICE"));
    QCOMPARE(record.deviceName, QStringLiteral("Other"));
    QCOMPARE(record.endpointDescription, std::optional<QString>(target.endpointDescription));
    // Both sides know each other, and the new partner's history came over.
    QTRY_COMPARE(device->store->clip(theirs.id), std::optional<ClipItem>(theirs));
    QCOMPARE(device->engine->pairedDevices().first().token, record.token);
    QCOMPARE(other->engine->pairedDevices().first().deviceId, QStringLiteral("THIS-DEVICE"));
    QCOMPARE(device->peers->load().pairedDevices.size(), 1);
    device.reset();
    other.reset();
}

void TestSyncClient::pairingFailures_data() {
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<QString>("description");
    QTest::newRow("wrong PIN") << 0 << "配对码无效或已过期";
    QTest::newRow("health answered with pullResponse") << 1 << "连接失败";
    QTest::newRow("pairRequest answered with pushResponse") << 2 << "无效响应";
    QTest::newRow("pairResponse without token or error") << 3 << "配对失败";
    QTest::newRow("refused with an error message") << 4 << "不支持的消息";
    QTest::newRow("peer no longer known") << 5 << "连接失败";
}

void TestSyncClient::pairingFailures() {
    QFETCH(int, behaviour);
    QFETCH(QString, description);
    FakePeer peer([behaviour](const M& request) -> std::optional<M> {
        if (std::holds_alternative<M::Health>(request.value)) {
            return behaviour == 1 ? M{M::PullResponse{}}
                                  : M{M::HealthResponse{true, QStringLiteral("Peer"), QStringLiteral("PEER")}};
        }
        switch (behaviour) {
        case 0: return M{M::PairResponse{std::nullopt, QStringLiteral("配对码无效或已过期")}};
        case 2: return M{M::PushResponse{true}};
        case 3: return M{M::PairResponse{}};
        default: return M{M::ErrorReply{QStringLiteral("不支持的消息")}};
        }
    });
    device->engine->start(true);
    const net::BrowseResult endpoint = peer.endpoint(QStringLiteral("Peer"));
    manual->publish({endpoint});
    QTest::qWait(100);
    DiscoveredPeer target{endpoint.name + QLatin1Char('-') + endpoint.endpointDescription, endpoint.name,
                          endpoint.endpointDescription};
    if (behaviour == 5) {
        target.id = QStringLiteral("gone-peer");
    }
    std::optional<SyncEngine::PairingResult> result;
    device->engine->pair(target, QStringLiteral("123456"), [&](const SyncEngine::PairingResult& r) { result = r; });
    QTRY_VERIFY(result.has_value());
    const auto* error = std::get_if<std::shared_ptr<const Error>>(&*result);
    QVERIFY(error);
    QCOMPARE((*error)->description(), description);
    QVERIFY(device->engine->pairedDevices().isEmpty());
}

void TestSyncClient::stalledPeerDoesNotBlockSyncForever() {
    SyncEngine::Options options;
    options.replyTimeoutMs = 300;
    device = makeDevice(QStringLiteral("THIS-DEVICE"), manual, options);
    bool answer = false;
    FakePeer peer([&answer](const M& request) { return answer ? friendly(request) : std::nullopt; });
    device->engine->start(false);
    manual->publish({peer.endpoint(QStringLiteral("Slow"))});
    QTRY_COMPARE(peer.count(QStringLiteral("health")), 1);
    answer = true;
    // Once the stalled exchange has timed out, the peer can be synced again;
    // without the time limit it would stay "in progress" for good.
    QTRY_VERIFY_WITH_TIMEOUT((device->engine->pullFromAllPeers(), peer.pulls().size() >= 1), 10000);
}

void TestSyncClient::pulledClipsAreStoredOnce() {
    const ClipItem one = makeItem(QStringLiteral("one"), 1.0);
    const ClipItem two = makeItem(QStringLiteral("two"), 2.0);
    FakePeer peer([&](const M& request) -> std::optional<M> {
        if (std::holds_alternative<M::PullRequest>(request.value)) {
            return M{M::PullResponse{{SyncClipPayload{one, {}, {}, {}}, SyncClipPayload{two, {}, {}, {}}}}};
        }
        return friendly(request);
    });
    int notifications = 0;
    QObject context;
    NotificationCenter::defaultCenter().addObserver(NotificationCenter::clipStoreDidChange, &context,
                                                    [&] { ++notifications; });
    device->engine->start(false);
    manual->publish({peer.endpoint(QStringLiteral("Peer"))});
    QTRY_COMPARE(device->store->fetchRecent(10).size(), 2);
    QTRY_COMPARE(notifications, 1);
    device->engine->pullFromAllPeers();  // the same clips again: nothing new, no notification
    QTRY_COMPARE(peer.pulls().size(), 2);
    QTest::qWait(300);
    QCOMPARE(notifications, 1);
}

QTEST_GUILESS_MAIN(TestSyncClient)
