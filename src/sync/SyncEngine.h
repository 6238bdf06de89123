#pragma once

#include "platform/Clock.h"
#include "sync/PairedDeviceRecord.h"
#include "sync/PairingManager.h"
#include "sync/SyncMessage.h"
#include "sync/SyncPeerStore.h"
#include "sync/SyncWireCodec.h"
#include "sync/transport/Connection.h"
#include "sync/transport/Discovery.h"
#include "sync/transport/Listener.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QThread>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <variant>

namespace tessik {

class ClipStore;

// The network side of local-network sync: advertises this device, browses
// for the others, and serves their requests against the clip store.
//
// Threads: the engine's work runs on its own thread "tessik.sync.engine"
// (the "queue"), which owns the listener, the browser, every connection and
// the discovery handles. Public operations are called from the main thread:
// queued ones return at once, waiting ones block until the queue ran them
// (never call those from the queue). The four callbacks and the
// "tessik.clipStoreDidChange" notification are delivered on the main thread.
class SyncEngine : public QObject {
    Q_OBJECT
public:
    struct Options {
        // How services are advertised and found; mDNS through Avahi when unset.
        std::shared_ptr<net::Discovery> discovery;
        // Where pairings and the name persist; SyncPeerStore::shared() when unset.
        SyncPeerStore* peerStore = nullptr;
        // The listening port; any free port when 0.
        quint16 port = 0;
        // This device's identity; AppPaths::deviceId() when unset.
        std::function<QString()> deviceId;
        Clock clock = &tessik::now;
        // An accepted connection that moves no byte for this long is closed,
        // so slow or half-open peers cannot hold a slot forever.
        int idleTimeoutMs = 60'000;
        // Accepted connections beyond this many at once are closed at once.
        int maxConnections = 64;
        // Draws pairing PINs; the system's secure random source when unset.
        std::function<quint32()> drawPin;
        // Outgoing connections fail when not ready within this time, or when
        // a reply stalls for the second one, so a peer that never answers
        // cannot keep its automatic sync "in progress" forever.
        int connectTimeoutMs = 10'000;
        int replyTimeoutMs = 30'000;
    };

    using PairingResult = std::variant<PairedDeviceRecord, std::shared_ptr<const Error>>;
    using PairingCompletion = std::function<void(const PairingResult&)>;

    // Creates the engine and its thread, reading pairings and the device
    // name from the peer store. Call on the main thread.
    SyncEngine();
    explicit SyncEngine(Options options);
    ~SyncEngine() override;

    // The engine of the application, made on first use.
    static SyncEngine& shared();

    // Set on the main thread before start(); called on the main thread.
    std::function<void(const QList<DiscoveredPeer>&)> onPeersUpdated;
    std::function<void(const QString&)> onStatusChanged;
    std::function<void(const QList<PairedDeviceRecord>&)> onPairedDevicesChanged;
    std::function<void(const std::optional<QString>&)> onPINChanged;

    // Sets the history to serve, at once on the caller's thread.
    void configure(std::shared_ptr<ClipStore> store);

    // Queued.
    void start(bool requirePIN);
    void stop();
    void setRequirePIN(bool requirePIN);
    void setDeviceName(const QString& name);
    void removePairedDevice(const QString& deviceId);
    // Sends a newly recorded clip to the other devices: every peer found (no
    // PIN) or every paired device that can be reached (PIN).
    void pushClip(const ClipItem& item);
    // Pulls from every peer: a forced automatic sync (no PIN), or a pull
    // since 0 from every reachable paired device (PIN).
    void pullFromAllPeers();
    // Pairs with a discovered peer by the PIN it shows. The completion runs
    // on the engine's thread with the new record or the error.
    void pair(const DiscoveredPeer& peer, const QString& pin, PairingCompletion completion);

    // Waiting.
    QString generatePairingPIN();
    std::optional<QString> currentPairingPIN();
    QList<PairedDeviceRecord> pairedDevices();
    // The port the listener is bound to, 0 when not listening.
    quint16 listeningPort();
    bool isRunning();

private:
    enum class After { readNext, close };

    // Everything below runs on the queue.
    void runOnQueue(std::function<void()> work);
    void waitOnQueue(const std::function<void()>& work);
    void toMain(std::function<void()> work);
    void report(const QString& status);
    void publishPairings();
    void postClipStoreDidChange();
    void startListener();
    void startBrowser();
    void stopListenerAndBrowser();
    void handleBrowseResults(const QList<net::BrowseResult>& results);

    void accept(std::unique_ptr<net::Connection> connection);
    void drop(net::Connection* connection);
    void receiveNext(net::Connection* connection);
    void serve(net::Connection* connection, const SyncMessage& request);
    void reply(net::Connection* connection, const SyncMessage& message, After after);
    SyncMessage pullResponse(double since);
    SyncMessage pushResponse(const SyncClipPayload& clip);

    // The outgoing side (SyncEngineClient.cpp).
    net::Connection* openConnection(const net::BrowseResult& endpoint);
    void closeConnection(net::Connection* connection);
    void autoSyncWithAllPeers(bool forced);
    void autoSync(const QString& peerId, bool forced);
    void pull(double since, const QString& token, const net::BrowseResult& endpoint);
    void push(const SyncClipPayload& payload, const QString& token, const net::BrowseResult& endpoint);
    void applyPulledClips(const QList<SyncClipPayload>& clips);
    std::optional<net::BrowseResult> endpointFor(const PairedDeviceRecord& record) const;
    struct PairingAttempt;
    void pairingSendHealth(const std::shared_ptr<PairingAttempt>& attempt);
    void pairingSendRequest(const std::shared_ptr<PairingAttempt>& attempt, const QString& remoteId,
                            const QString& remoteName);
    PairingResult pairingOutcome(const PairingAttempt& attempt, const SyncWireCodec::Received& reply,
                                 const QString& remoteId, const QString& remoteName);
    void finishPairing(PairingAttempt& attempt, const PairingResult& result);

    Options m_options;
    QThread m_thread;
    QObject* m_queue;  // lives on m_thread; context of all queued work

    PairingManager m_pairing;
    SyncPeerStore& m_peerStore;
    std::shared_ptr<ClipStore> m_store;

    std::unique_ptr<net::Listener> m_listener;
    std::unique_ptr<net::Browser> m_browser;
    std::map<net::Connection*, std::unique_ptr<net::Connection>> m_connections;
    std::map<net::Connection*, std::unique_ptr<net::Connection>> m_outgoing;
    QHash<QString, net::BrowseResult> m_endpointByPeerID;
    QHash<QString, net::BrowseResult> m_endpointByDescription;
    bool m_isRunning = false;
    bool m_requirePIN = false;
    QString m_deviceName;
    QSet<QString> m_selfPeerIDs;
    QSet<QString> m_autoSyncInProgress;
    QHash<QString, TimePoint> m_lastAutoSyncAt;
    QHash<QString, double> m_lastPullSinceByDeviceId;
};

} // namespace tessik
