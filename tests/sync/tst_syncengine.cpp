#include "tst_syncengine.h"

#include "TestEnvironment.h"
#include "capture/ContentHasher.h"
#include "platform/AppPaths.h"
#include "platform/NotificationCenter.h"
#include "platform/Uuid.h"
#include "store/ClipStore.h"
#include "sync/SyncConstants.h"
#include "sync/SyncEngine.h"
#include "sync/SyncWireCodec.h"
#include "sync/transport/AvahiDiscovery.h"
#include "sync/transport/InProcessDiscovery.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <memory>

using namespace tessik;
using M = SyncMessage;

namespace {

std::unique_ptr<TestEnvironment> environment;

ClipItem makeItem(const QString& text, TimePoint createdAt) {
    return ClipItem{QUuid::createUuid(), createdAt, QStringLiteral("OTHER-DEVICE"),
                    ContentType::plainText, text, std::nullopt, std::nullopt, std::nullopt,
                    std::nullopt, std::nullopt, false, ContentHasher::hash(text),
                    text.toUtf8().size()};
}

// A peer speaking raw frames over a blocking socket on the test thread.
class Client {
public:
    bool connectTo(quint16 port) {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        return m_socket.waitForConnected(5000);
    }

    std::optional<M> request(const M& message, int timeoutMs = 20000) {
        m_socket.write(SyncWireCodec::frame(message));
        m_socket.flush();
        return readFrame(timeoutMs);
    }

    std::optional<M> readFrame(int timeoutMs = 20000) {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (m_buffer.size() >= 4) {
                const quint32 length = qFromBigEndian<quint32>(m_buffer.constData());
                if (m_buffer.size() >= 4 + qsizetype(length)) {
                    lastFrameSize = 4 + qsizetype(length);
                    const QByteArray body = m_buffer.mid(4, length);
                    m_buffer.remove(0, 4 + length);
                    return M::decode(body);
                }
            }
            if (m_socket.state() != QAbstractSocket::ConnectedState && m_socket.bytesAvailable() == 0) {
                return std::nullopt;
            }
            m_socket.waitForReadyRead(50);
            m_buffer.append(m_socket.readAll());
        }
        return std::nullopt;
    }

    // True once the other side closed the connection within the time.
    bool closedByPeer(int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (m_socket.state() == QAbstractSocket::UnconnectedState) {
                return true;
            }
            m_socket.waitForReadyRead(50);
            m_buffer.append(m_socket.readAll());
        }
        return m_socket.state() == QAbstractSocket::UnconnectedState;
    }

    qsizetype lastFrameSize = 0;

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
};

} // namespace

// The fixture: one engine over a store in a temporary folder, with in-process
// discovery, recording what its callbacks and notifications said.
struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<SyncPeerStore> peerStore;
    std::shared_ptr<ClipStore> store;
    std::unique_ptr<SyncEngine> engine;
    QStringList statuses;
    QList<QList<DiscoveredPeer>> peerUpdates;
    QList<QList<PairedDeviceRecord>> pairingUpdates;
    QList<std::optional<QString>> pins;
    int notifications = 0;
    QObject observerContext;
};

namespace {

std::unique_ptr<Fixture> fixture;
std::shared_ptr<net::Discovery> discovery = std::make_shared<net::InProcessDiscovery>();

SyncEngine& makeEngine(Fixture& f, SyncEngine::Options options = {}, bool configure = true) {
    f.peerStore = std::make_unique<SyncPeerStore>(f.dir.filePath(QStringLiteral("sync-config.json")));
    if (!options.discovery) {
        options.discovery = discovery;
    }
    options.peerStore = f.peerStore.get();
    options.deviceId = [] { return QStringLiteral("ENGINE-DEVICE"); };
    f.engine = std::make_unique<SyncEngine>(options);
    f.engine->onStatusChanged = [&f](const QString& status) { f.statuses.append(status); };
    f.engine->onPeersUpdated = [&f](const QList<DiscoveredPeer>& peers) { f.peerUpdates.append(peers); };
    f.engine->onPairedDevicesChanged = [&f](const QList<PairedDeviceRecord>& devices) {
        f.pairingUpdates.append(devices);
    };
    f.engine->onPINChanged = [&f](const std::optional<QString>& pin) { f.pins.append(pin); };
    if (configure) {
        f.engine->configure(f.store);
    }
    return *f.engine;
}

quint16 startEngine(Fixture& f, bool requirePIN) {
    f.engine->start(requirePIN);
    QDeadlineTimer deadline(10000);
    quint16 port = 0;
    while (!deadline.hasExpired() && (port = f.engine->listeningPort()) == 0) {
        QTest::qWait(10);
    }
    return port;
}

M pull(double since, const QString& token = SyncConstants::lanTrustToken) {
    return M{M::PullRequest{since, token}};
}

} // namespace

void TestSyncEngine::initTestCase() {
    environment = std::make_unique<TestEnvironment>();
    NotificationCenter::defaultCenter();
}

void TestSyncEngine::init() {
    fixture = std::make_unique<Fixture>();
    fixture->store = std::make_shared<ClipStore>(fixture->dir.filePath(QStringLiteral("clips.sqlite")), 1000);
    NotificationCenter::defaultCenter().addObserver(NotificationCenter::clipStoreDidChange,
                                                    &fixture->observerContext,
                                                    [] { ++fixture->notifications; });
}

void TestSyncEngine::cleanup() {
    fixture.reset();
}

void TestSyncEngine::oneConnectionServesRequestsInOrder() {
    Fixture& f = *fixture;
    QVERIFY(f.store->upsertFromSync(makeItem(QStringLiteral("already here"), 1000.0)));
    makeEngine(f);
    Client client;
    QVERIFY(client.connectTo(startEngine(f, false)));

    QCOMPARE(client.request(M{M::Health{}}),
             std::optional<M>(M{M::HealthResponse{true, f.peerStore->load().deviceName,
                                                  QStringLiteral("ENGINE-DEVICE")}}));
    const std::optional<M> pulled = client.request(pull(0));
    QVERIFY(pulled);
    QCOMPARE(std::get<M::PullResponse>(pulled->value).clips.size(), 1);
    const ClipItem pushed = makeItem(QStringLiteral("pushed"), 2000.0);
    QCOMPARE(client.request(M{M::PushRequest{SyncClipPayload{pushed, {}, {}, {}}, SyncConstants::lanTrustToken}}),
             std::optional<M>(M{M::PushResponse{true}}));
    QCOMPARE(client.request(M{M::Health{}})->caseName(), QStringLiteral("healthResponse"));

    QCOMPARE(f.store->clip(pushed.id), std::optional<ClipItem>(pushed));
    QTRY_COMPARE(f.notifications, 1);
    QTRY_COMPARE(f.statuses.value(0), QStringLiteral("同步服务已启动（自动同步）"));
    QTRY_COMPARE(f.pairingUpdates.size(), 1);  // published at start
    QVERIFY(QFile::exists(f.peerStore->url()));
}

void TestSyncEngine::refusalsAreAnsweredAndClosed_data() {
    QTest::addColumn<bool>("requirePIN");
    QTest::addColumn<bool>("configured");
    QTest::addColumn<M>("request");
    QTest::addColumn<M>("reply");
    const M unauthorized{M::ErrorReply{QStringLiteral("未授权")}};
    const SyncClipPayload clip{makeItem(QStringLiteral("x"), 1.0), {}, {}, {}};
    QTest::newRow("trust token while a PIN is required") << true << true << pull(0) << unauthorized;
    QTest::newRow("unknown token") << false << true << pull(0, QStringLiteral("guess")) << unauthorized;
    QTest::newRow("no store") << false << false << pull(0) << unauthorized;
    QTest::newRow("push, unknown token")
        << false << true << M{M::PushRequest{clip, QStringLiteral("guess")}} << unauthorized;
    QTest::newRow("delete, PIN required")
        << true << true << M{M::DeleteRequest{uuidText(clip.item.id), SyncConstants::lanTrustToken}}
        << unauthorized;
    QTest::newRow("a reply sent as request") << false << true << M{M::PushResponse{true}}
                                             << M{M::ErrorReply{QStringLiteral("不支持的消息")}};
    QTest::newRow("pairing without a PIN on offer")
        << true << true << M{M::PairRequest{QStringLiteral("000000"), QStringLiteral("D"), QStringLiteral("N")}}
        << M{M::PairResponse{std::nullopt, QStringLiteral("配对码无效或已过期")}};
}

void TestSyncEngine::refusalsAreAnsweredAndClosed() {
    QFETCH(bool, requirePIN);
    QFETCH(bool, configured);
    QFETCH(M, request);
    QFETCH(M, reply);
    Fixture& f = *fixture;
    makeEngine(f, {}, configured);
    Client client;
    QVERIFY(client.connectTo(startEngine(f, requirePIN)));
    // health needs no token, also when a PIN is required
    QCOMPARE(client.request(M{M::Health{}})->caseName(), QStringLiteral("healthResponse"));
    QCOMPARE(client.request(request), std::optional<M>(reply));
    QVERIFY(client.closedByPeer());
    QCOMPARE(f.notifications, 0);
}

void TestSyncEngine::pullSinceZeroGivesTheOldest500() {
    Fixture& f = *fixture;
    f.store->setMaxItems(1000);
    f.store->dbQueue().write([&](sqlite::Connection&) {
        for (int i = 0; i < 600; ++i) {
            f.store->upsertFromSync(makeItem(QStringLiteral("clip %1").arg(i), 1000.0 + i));
        }
    });
    makeEngine(f);
    Client client;
    QVERIFY(client.connectTo(startEngine(f, false)));
    const QList<SyncClipPayload> clips = std::get<M::PullResponse>(client.request(pull(0))->value).clips;
    QCOMPARE(clips.size(), 500);
    QCOMPARE(clips.first().item.createdAt, 1000.0);
    QCOMPARE(clips.last().item.createdAt, 1499.0);
    const QList<SyncClipPayload> rest = std::get<M::PullResponse>(client.request(pull(1499.0))->value).clips;
    QCOMPARE(rest.size(), 100);
}

void TestSyncEngine::pullStaysWithinTheFrameLimit() {
    Fixture& f = *fixture;
    // Three clips with 10 MiB images: all three would need a 42 MB frame.
    for (int i = 0; i < 3; ++i) {
        ClipItem item = makeItem(QStringLiteral("image %1").arg(i), 1000.0 + i);
        item.contentType = ContentType::image;
        item.imagePath = QStringLiteral("big%1.png").arg(i);
        QFile file(AppPaths::attachmentsDirectory() + QLatin1Char('/') + *item.imagePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(10 << 20, char('a' + i)));
        file.close();
        QVERIFY(f.store->upsertFromSync(item));
    }
    makeEngine(f);
    Client client;
    QVERIFY(client.connectTo(startEngine(f, false)));
    const std::optional<M> reply = client.request(pull(0), 60000);
    QVERIFY(reply);
    const QList<SyncClipPayload> clips = std::get<M::PullResponse>(reply->value).clips;
    QCOMPARE(clips.size(), 2);  // the oldest two; the third comes with the next pull
    QCOMPARE(clips.at(0).imageData->size(), 10 << 20);
    QVERIFY(client.lastFrameSize <= 4 + qsizetype(SyncWireCodec::maxFrameLength));
    QCOMPARE(std::get<M::PullResponse>(client.request(pull(1001.0), 60000)->value).clips.size(), 1);
}

void TestSyncEngine::pushStoresOnceAndNotifies() {
    Fixture& f = *fixture;
    makeEngine(f);
    Client client;
    QVERIFY(client.connectTo(startEngine(f, false)));
    ClipItem item = makeItem(QString(), 5.0);
    item.contentType = ContentType::image;
    item.plainText.reset();
    item.imagePath = QStringLiteral("sender-name.gif");
    const SyncClipPayload payload{item, {}, QByteArray("GIF89a..."), {}};
    QCOMPARE(client.request(M{M::PushRequest{payload, SyncConstants::lanTrustToken}}),
             std::optional<M>(M{M::PushResponse{true}}));
    QTRY_COMPARE(f.notifications, 1);
    const std::optional<ClipItem> stored = f.store->clip(item.id);
    QVERIFY(stored);
    QCOMPARE(stored->imagePath, std::optional<QString>(uuidText(item.id) + QStringLiteral(".png")));
    QFile file(AppPaths::attachmentsDirectory() + QLatin1Char('/') + *stored->imagePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("GIF89a..."));

    // The same clip again: ok, nothing new, no notification.
    QCOMPARE(client.request(M{M::PushRequest{payload, SyncConstants::lanTrustToken}}),
             std::optional<M>(M{M::PushResponse{true}}));
    QTest::qWait(200);
    QCOMPARE(f.notifications, 1);
}

void TestSyncEngine::deleteRequests() {
    Fixture& f = *fixture;
    const ClipItem kept = makeItem(QStringLiteral("kept"), 1.0);
    const ClipItem removed = makeItem(QStringLiteral("removed"), 2.0);
    f.store->upsertFromSync(kept);
    f.store->upsertFromSync(removed);
    makeEngine(f);
    Client client;
    QVERIFY(client.connectTo(startEngine(f, false)));
    const M ok{M::DeleteResponse{true}};
    QCOMPARE(client.request(M{M::DeleteRequest{QStringLiteral("not-a-uuid"), SyncConstants::lanTrustToken}}),
             std::optional<M>(ok));
    QTest::qWait(200);
    QCOMPARE(f.notifications, 0);
    QCOMPARE(f.store->fetchRecent(10).size(), 2);
    QCOMPARE(client.request(M{M::DeleteRequest{uuidText(QUuid::createUuid()), SyncConstants::lanTrustToken}}),
             std::optional<M>(ok));
    QTRY_COMPARE(f.notifications, 1);
    QCOMPARE(client.request(M{M::DeleteRequest{uuidText(removed.id).toLower(), SyncConstants::lanTrustToken}}),
             std::optional<M>(ok));
    QTRY_COMPARE(f.notifications, 2);
    QCOMPARE(f.store->fetchRecent(10), QList<ClipItem>{kept});
}

void TestSyncEngine::pairingWithPin() {
    Fixture& f = *fixture;
    makeEngine(f);
    const quint16 port = startEngine(f, true);
    const QString pin = f.engine->generatePairingPIN();
    QCOMPARE(f.engine->currentPairingPIN(), std::optional<QString>(pin));
    QTRY_VERIFY(f.statuses.contains(QStringLiteral("配对码 ") + pin + QStringLiteral("（5 分钟内有效）")));
    QTRY_COMPARE(f.pins.value(0), std::optional<QString>(pin));

    Client phone;
    QVERIFY(phone.connectTo(port));
    const std::optional<M> granted = phone.request(M{M::PairRequest{pin, QStringLiteral("PHONE"), QStringLiteral("手机")}});
    QVERIFY(granted);
    const std::optional<QString> token = std::get<M::PairResponse>(granted->value).token;
    QVERIFY(token && parseUuid(*token));
    // The connection stays open and the token now opens the history.
    QCOMPARE(phone.request(pull(0, *token))->caseName(), QStringLiteral("pullResponse"));
    QTRY_VERIFY(!f.pairingUpdates.isEmpty() && f.pairingUpdates.last().size() == 1);
    QCOMPARE(f.pairingUpdates.last().first().deviceName, QStringLiteral("手机"));
    QCOMPARE(f.peerStore->load().pairedDevices.first().token, *token);
    QCOMPARE(f.engine->pairedDevices().first().deviceId, QStringLiteral("PHONE"));

    Client tablet;
    QVERIFY(tablet.connectTo(port));
    QCOMPARE(tablet.request(M{M::PairRequest{pin, QStringLiteral("TABLET"), QStringLiteral("平板")}}),
             std::optional<M>(M{M::PairResponse{std::nullopt, QStringLiteral("配对码无效或已过期")}}));
    QVERIFY(tablet.closedByPeer());

    f.engine->removePairedDevice(QStringLiteral("PHONE"));
    QTRY_VERIFY(f.engine->pairedDevices().isEmpty());
    QCOMPARE(phone.request(pull(0, *token)), std::optional<M>(M{M::ErrorReply{QStringLiteral("未授权")}}));
    QVERIFY(f.peerStore->load().pairedDevices.isEmpty());
}

void TestSyncEngine::startWhileRunningChangesNothing() {
    Fixture& f = *fixture;
    makeEngine(f);
    const quint16 port = startEngine(f, false);
    f.engine->start(true);  // ignored: already running, still without PIN
    Client client;
    QVERIFY(client.connectTo(port));
    QCOMPARE(client.request(pull(0))->caseName(), QStringLiteral("pullResponse"));
    QTRY_COMPARE(f.statuses, QStringList{QStringLiteral("同步服务已启动（自动同步）")});

    f.engine->stop();
    QTRY_COMPARE(f.statuses.last(), QStringLiteral("同步已停止"));
    QTRY_COMPARE(f.pins.value(0), std::optional<QString>());
    QVERIFY(!f.engine->isRunning());
    QCOMPARE(f.engine->listeningPort(), 0);
    QVERIFY(client.closedByPeer());  // accepted connections end with the engine

    startEngine(f, true);
    QTRY_COMPARE(f.statuses.last(), QStringLiteral("同步服务已启动（需 PIN 配对）"));
}

void TestSyncEngine::peersAreSortedAndRenamed() {
    Fixture& f = *fixture;
    Fixture other;
    other.store = std::make_shared<ClipStore>(other.dir.filePath(QStringLiteral("clips.sqlite")), 100);
    makeEngine(f);
    makeEngine(other);
    f.engine->setDeviceName(QStringLiteral("beta"));
    other.engine->setDeviceName(QStringLiteral("Alpha"));
    const quint16 port = startEngine(f, true);
    const quint16 otherPort = startEngine(other, true);
    const auto names = [](const QList<DiscoveredPeer>& peers) {
        QStringList result;
        for (const DiscoveredPeer& peer : peers) {
            result.append(peer.name);
        }
        return result;
    };
    QTRY_COMPARE(names(f.peerUpdates.value(f.peerUpdates.size() - 1)), (QStringList{"Alpha", "beta"}));
    const DiscoveredPeer alpha = f.peerUpdates.last().first();
    QCOMPARE(alpha.id, alpha.name + QLatin1Char('-') + alpha.endpointDescription);
    QVERIFY(alpha.endpointDescription.contains(QString::number(otherPort)));
    QCOMPARE(f.peerStore->load().deviceName, QStringLiteral("beta"));

    other.engine->setDeviceName(QStringLiteral("Gamma"));  // advertised again under the new name
    QTRY_COMPARE(names(f.peerUpdates.last()), (QStringList{"beta", "Gamma"}));
    Client client;
    QVERIFY(client.connectTo(other.engine->listeningPort()));
    QCOMPARE(std::get<M::HealthResponse>(client.request(M{M::Health{}})->value).deviceName,
             QStringLiteral("Gamma"));
    QVERIFY(port != 0);
}

void TestSyncEngine::idleAndSurplusConnectionsAreClosed() {
    Fixture& f = *fixture;
    SyncEngine::Options options;
    options.idleTimeoutMs = 1500;
    options.maxConnections = 2;
    makeEngine(f, options);
    // PIN mode: no automatic sync with its own service takes a slot meanwhile.
    const quint16 port = startEngine(f, true);
    Client talker, silent, surplus;
    QVERIFY(talker.connectTo(port));
    QVERIFY(silent.connectTo(port));
    QTest::qWait(100);
    QVERIFY(surplus.connectTo(port));
    QVERIFY(surplus.closedByPeer(1000));  // over the limit: closed at once
    // A peer that keeps talking is never cut off; a silent one is.
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(talker.request(M{M::Health{}})->caseName(), QStringLiteral("healthResponse"));
        QTest::qWait(400);
    }
    QVERIFY(silent.closedByPeer(100));
    QVERIFY(!talker.closedByPeer(100));
    Client later;  // the silent one's slot is free again
    QVERIFY(later.connectTo(port));
    QCOMPARE(later.request(M{M::Health{}})->caseName(), QStringLiteral("healthResponse"));
}

void TestSyncEngine::listenerThatCannotBindIsReported() {
    Fixture& f = *fixture;
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::Any));
    SyncEngine::Options options;
    options.port = taken.serverPort();
    makeEngine(f, options);
    f.engine->start(false);
    QTRY_VERIFY(!f.statuses.isEmpty());
    QVERIFY2(f.statuses.first().startsWith(QStringLiteral("无法启动同步服务: ")), qPrintable(f.statuses.first()));
    QTRY_COMPARE(f.statuses.value(1), QStringLiteral("同步服务已启动（自动同步）"));
    QVERIFY(f.engine->isRunning());
    QCOMPARE(f.engine->listeningPort(), 0);
}

void TestSyncEngine::avahiWithoutDaemonIsReported() {
    if (QFile::exists(QStringLiteral("/run/avahi-daemon/socket"))) {
        QSKIP("an Avahi daemon is reachable here");
    }
    Fixture& f = *fixture;
    SyncEngine::Options options;
    options.discovery = std::make_shared<net::AvahiDiscovery>();
    SyncEngine& engine = makeEngine(f, options);
    engine.start(false);
    QTRY_VERIFY2(f.statuses.contains(QStringLiteral("发现服务失败: Daemon not running")), qPrintable(f.statuses.join(" | ")));
    QVERIFY(f.statuses.contains(QStringLiteral("监听失败: Daemon not running")));
}

QTEST_GUILESS_MAIN(TestSyncEngine)
