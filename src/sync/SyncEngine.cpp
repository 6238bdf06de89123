#include "SyncEngine.h"

#include "platform/AppPaths.h"
#include "platform/Logging.h"
#include "platform/NotificationCenter.h"
#include "platform/Uuid.h"
#include "store/ClipStore.h"
#include "sync/SyncWireCodec.h"
#include "sync/transport/AvahiDiscovery.h"

#include <QCollator>

namespace tessik {

namespace {

const QString kUnauthorized = QStringLiteral("未授权");
const QString kPairingRefused = QStringLiteral("配对码无效或已过期");
const QString kUnsupported = QStringLiteral("不支持的消息");
constexpr int kPullLimit = 500;

SyncMessage errorReply(const QString& text) {
    return SyncMessage{SyncMessage::ErrorReply{text}};
}

} // namespace

SyncEngine::SyncEngine() : SyncEngine(Options{}) {}

SyncEngine::SyncEngine(Options options)
    : m_options(std::move(options)), m_queue(new QObject),
      m_pairing(m_options.clock, m_options.drawPin),
      m_peerStore(m_options.peerStore ? *m_options.peerStore : SyncPeerStore::shared()) {
    if (!m_options.discovery) {
        m_options.discovery = std::make_shared<net::AvahiDiscovery>();
    }
    if (!m_options.deviceId) {
        m_options.deviceId = &AppPaths::deviceId;
    }
    const SyncConfigFile config = m_peerStore.load();
    m_deviceName = config.deviceName;
    m_pairing.load(config.pairedDevices);

    m_thread.setObjectName(QStringLiteral("tessik.sync.engine"));
    m_queue->moveToThread(&m_thread);
    m_thread.start();
}

SyncEngine::~SyncEngine() {
    // Network objects belong to the queue's thread: end them there.
    waitOnQueue([this] {
        m_connections.clear();
        m_outgoing.clear();
        m_listener.reset();
        m_browser.reset();
    });
    QMetaObject::invokeMethod(m_queue, [queue = m_queue] { delete queue; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

SyncEngine& SyncEngine::shared() {
    static SyncEngine* engine = new SyncEngine();  // lives as long as the process
    return *engine;
}

void SyncEngine::runOnQueue(std::function<void()> work) {
    QMetaObject::invokeMethod(m_queue, std::move(work), Qt::QueuedConnection);
}

void SyncEngine::waitOnQueue(const std::function<void()>& work) {
    Q_ASSERT(QThread::currentThread() != &m_thread);
    QMetaObject::invokeMethod(m_queue, work, Qt::BlockingQueuedConnection);
}

void SyncEngine::toMain(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void SyncEngine::report(const QString& status) {
    toMain([this, status] {
        if (onStatusChanged) {
            onStatusChanged(status);
        }
    });
}

void SyncEngine::publishPairings() {
    const QList<PairedDeviceRecord> list = m_pairing.pairedDevices();
    m_peerStore.save(SyncConfigFile{list, m_peerStore.load().deviceName});
    toMain([this, list] {
        if (onPairedDevicesChanged) {
            onPairedDevicesChanged(list);
        }
    });
}

void SyncEngine::postClipStoreDidChange() {
    toMain([] { NotificationCenter::defaultCenter().post(NotificationCenter::clipStoreDidChange); });
}

void SyncEngine::configure(std::shared_ptr<ClipStore> store) {
    m_store = std::move(store);
}

void SyncEngine::start(bool requirePIN) {
    runOnQueue([this, requirePIN] {
        if (m_isRunning) {
            return;
        }
        m_isRunning = true;
        m_requirePIN = requirePIN;
        startListener();
        startBrowser();
        report(m_requirePIN ? QStringLiteral("同步服务已启动（需 PIN 配对）")
                            : QStringLiteral("同步服务已启动（自动同步）"));
        publishPairings();
    });
}

void SyncEngine::startListener() {
    try {
        m_listener = std::make_unique<net::Listener>(m_options.discovery, m_options.port);
    } catch (const net::NetworkError& error) {
        report(QStringLiteral("无法启动同步服务: ") + error.description());
        return;
    }
    m_listener->setServiceName(m_deviceName);
    m_listener->setFailureHandler([this](const net::NetworkError& error) {
        report(QStringLiteral("监听失败: ") + error.description());
    });
    m_listener->setNewConnectionHandler(
        [this](std::unique_ptr<net::Connection> connection) { accept(std::move(connection)); });
    m_listener->start();
}

void SyncEngine::startBrowser() {
    m_browser = std::make_unique<net::Browser>(m_options.discovery);
    m_browser->setFailureHandler([this](const net::NetworkError& error) {
        report(QStringLiteral("发现服务失败: ") + error.description());
    });
    m_browser->setResultsHandler(
        [this](const QList<net::BrowseResult>& results) { handleBrowseResults(results); });
    m_browser->start();
}

void SyncEngine::stopListenerAndBrowser() {
    if (m_listener) {
        m_listener->cancel();
        m_listener.reset();
    }
    if (m_browser) {
        m_browser->cancel();
        m_browser.reset();
    }
}

void SyncEngine::handleBrowseResults(const QList<net::BrowseResult>& results) {
    m_endpointByPeerID.clear();
    m_endpointByDescription.clear();
    QList<DiscoveredPeer> peers;
    for (const net::BrowseResult& result : results) {
        const QString peerId = result.name + QLatin1Char('-') + result.endpointDescription;
        peers.append(DiscoveredPeer{peerId, result.name, result.endpointDescription});
        m_endpointByPeerID.insert(peerId, result);
        m_endpointByDescription.insert(result.endpointDescription, result);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(peers.begin(), peers.end(), [&](const DiscoveredPeer& a, const DiscoveredPeer& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    toMain([this, peers] {
        if (onPeersUpdated) {
            onPeersUpdated(peers);
        }
    });
    if (!m_requirePIN) {
        autoSyncWithAllPeers(false);
    }
}

void SyncEngine::stop() {
    runOnQueue([this] {
        m_isRunning = false;
        stopListenerAndBrowser();
        for (auto& [raw, connection] : m_connections) {
            connection->setStateHandler(nullptr);
            connection->cancel();
            connection.release()->deleteLater();
        }
        m_connections.clear();
        m_endpointByPeerID.clear();
        m_endpointByDescription.clear();
        m_selfPeerIDs.clear();
        m_autoSyncInProgress.clear();
        m_lastAutoSyncAt.clear();
        toMain([this] {
            if (onPINChanged) {
                onPINChanged(std::nullopt);
            }
        });
        report(QStringLiteral("同步已停止"));
    });
}

void SyncEngine::setRequirePIN(bool requirePIN) {
    runOnQueue([this, requirePIN] {
        m_requirePIN = requirePIN;
        if (m_isRunning && !requirePIN) {
            autoSyncWithAllPeers(false);
        }
    });
}

void SyncEngine::setDeviceName(const QString& name) {
    runOnQueue([this, name] {
        m_deviceName = name;
        m_peerStore.updateDeviceName(name);
        if (m_isRunning) {
            stopListenerAndBrowser();
            startListener();
            startBrowser();
        }
    });
}

void SyncEngine::removePairedDevice(const QString& deviceId) {
    runOnQueue([this, deviceId] {
        m_pairing.revoke(deviceId);
        m_peerStore.removePairedDevice(deviceId);
        publishPairings();
    });
}

QString SyncEngine::generatePairingPIN() {
    QString pin;
    waitOnQueue([&] {
        pin = m_pairing.generatePIN();
        toMain([this, pin] {
            if (onPINChanged) {
                onPINChanged(pin);
            }
        });
        report(QStringLiteral("配对码 ") + pin + QStringLiteral("（5 分钟内有效）"));
    });
    return pin;
}

std::optional<QString> SyncEngine::currentPairingPIN() {
    std::optional<QString> pin;
    waitOnQueue([&] { pin = m_pairing.currentPIN(); });
    return pin;
}

QList<PairedDeviceRecord> SyncEngine::pairedDevices() {
    QList<PairedDeviceRecord> devices;
    waitOnQueue([&] { devices = m_pairing.pairedDevices(); });
    return devices;
}

quint16 SyncEngine::listeningPort() {
    quint16 port = 0;
    waitOnQueue([&] { port = m_listener ? m_listener->port() : 0; });
    return port;
}

bool SyncEngine::isRunning() {
    bool running = false;
    waitOnQueue([&] { running = m_isRunning; });
    return running;
}

// Serving -------------------------------------------------------------------

void SyncEngine::accept(std::unique_ptr<net::Connection> connection) {
    if (static_cast<int>(m_connections.size()) >= m_options.maxConnections) {
        connection->cancel();
        connection.release()->deleteLater();
        return;
    }
    net::Connection* raw = connection.get();
    m_connections.emplace(raw, std::move(connection));
    raw->setIdleTimeout(m_options.idleTimeoutMs);
    raw->setStateHandler([this, raw](net::Connection::State state, const auto&) {
        if (state == net::Connection::State::ready) {
            receiveNext(raw);
        } else if (state == net::Connection::State::failed ||
                   state == net::Connection::State::cancelled) {
            drop(raw);
        }
    });
    raw->start();
}

void SyncEngine::drop(net::Connection* connection) {
    const auto it = m_connections.find(connection);
    if (it == m_connections.end()) {
        return;
    }
    // Never delete a connection from inside one of its own handlers.
    it->second.release()->deleteLater();
    m_connections.erase(it);
}

void SyncEngine::receiveNext(net::Connection* connection) {
    SyncWireCodec::receive(*connection, [this, connection](const SyncWireCodec::Received& received) {
        if (!m_connections.count(connection)) {
            return;
        }
        if (received.error) {
            connection->cancel();  // its state handler drops it
            return;
        }
        serve(connection, *received.message);
    });
}

void SyncEngine::reply(net::Connection* connection, const SyncMessage& message, After after) {
    SyncWireCodec::send(message, *connection, [this, connection, after](const auto&) {
        if (!m_connections.count(connection)) {
            return;
        }
        if (after == After::readNext) {
            receiveNext(connection);
        } else {
            connection->cancel();
        }
    });
}

void SyncEngine::serve(net::Connection* connection, const SyncMessage& request) {
    using M = SyncMessage;
    const auto authorized = [this](const QString& token) {
        return m_store && m_pairing.authorizes(token, m_requirePIN);
    };
    if (std::holds_alternative<M::Health>(request.value)) {
        reply(connection, M{M::HealthResponse{true, m_deviceName, m_options.deviceId()}},
              After::readNext);
    } else if (const auto* pair = std::get_if<M::PairRequest>(&request.value)) {
        const bool offered = m_pairing.currentPIN().has_value();
        const std::optional<QString> token =
            m_pairing.verifyPIN(pair->pin, pair->deviceId, pair->deviceName);
        if (!token) {
            if (offered && !m_pairing.currentPIN()) {
                toMain([this] {  // too many wrong tries: the PIN was withdrawn
                    if (onPINChanged) {
                        onPINChanged(std::nullopt);
                    }
                });
            }
            reply(connection, M{M::PairResponse{std::nullopt, kPairingRefused}}, After::close);
            return;
        }
        m_peerStore.upsertPairedDevice(PairedDeviceRecord{pair->deviceId, pair->deviceName, *token,
                                                          m_options.clock(), std::nullopt,
                                                          std::nullopt});
        publishPairings();
        reply(connection, M{M::PairResponse{token, std::nullopt}}, After::readNext);
    } else if (const auto* pull = std::get_if<M::PullRequest>(&request.value)) {
        if (!authorized(pull->token)) {
            reply(connection, errorReply(kUnauthorized), After::close);
            return;
        }
        try {
            reply(connection, pullResponse(pull->since), After::readNext);
        } catch (const Error& error) {
            reply(connection, errorReply(error.description()), After::close);
        }
    } else if (const auto* push = std::get_if<M::PushRequest>(&request.value)) {
        if (!authorized(push->token)) {
            reply(connection, errorReply(kUnauthorized), After::close);
            return;
        }
        reply(connection, pushResponse(push->clip), After::readNext);
    } else if (const auto* removal = std::get_if<M::DeleteRequest>(&request.value)) {
        if (!authorized(removal->token)) {
            reply(connection, errorReply(kUnauthorized), After::close);
            return;
        }
        if (const std::optional<QUuid> id = parseUuid(removal->clipId)) {
            try {
                m_store->deleteClip(*id);
            } catch (const Error& error) {
                qCWarning(lcTessik, "Sync delete error: %s", qUtf8Printable(error.description()));
            }
            postClipStoreDidChange();
        }
        reply(connection, M{M::DeleteResponse{true}}, After::readNext);
    } else {
        reply(connection, errorReply(kUnsupported), After::close);
    }
}

SyncMessage SyncEngine::pullResponse(double since) {
    const QList<ClipItem> clips = m_store->fetchSince(since, kPullLimit);
    // Keep the reply within the frame limit the asking side enforces: a reply
    // over it would be refused whole. Clips are added oldest first and the
    // rest wait for the next pull, which starts after the last one sent.
    SyncMessage::PullResponse response;
    qint64 size = SyncMessage{response}.encode().size();
    for (const ClipItem& clip : clips) {
        SyncClipPayload payload = SyncClipPayload::encode(clip);
        const qint64 added = payload.snapshotData().size() + (response.clips.isEmpty() ? 0 : 1);
        if (size + added > SyncWireCodec::maxFrameLength) {
            break;
        }
        size += added;
        response.clips.append(std::move(payload));
    }
    return SyncMessage{response};
}

SyncMessage SyncEngine::pushResponse(const SyncClipPayload& clip) {
    const ClipItem item = clip.materializeAttachments();
    try {
        if (m_store->upsertFromSync(item)) {
            postClipStoreDidChange();
        }
    } catch (const Error& error) {
        qCWarning(lcTessik, "Sync apply error: %s", qUtf8Printable(error.description()));
        return SyncMessage{SyncMessage::PushResponse{false}};
    }
    return SyncMessage{SyncMessage::PushResponse{true}};
}

} // namespace tessik
