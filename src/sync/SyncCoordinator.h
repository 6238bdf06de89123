#pragma once

#include "sync/PairedDeviceRecord.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>

#include <memory>
#include <optional>

namespace tessik {

class ClipStore;
class SyncEngine;
struct ClipItem;

// The observable front of local-network sync for the screens and the state
// controller: the sync preferences and the engine's latest reports as
// properties, and the user's settings turned into engine calls.
//
// Lives on the main thread; every operation returns at once (engine work is
// queued), except configure(), which waits once for the paired-device list.
class SyncCoordinator : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled NOTIFY isEnabledChanged)
    Q_PROPERTY(bool requirePIN READ requirePIN NOTIFY requirePINChanged)
    Q_PROPERTY(QString deviceName READ deviceName WRITE editDeviceName NOTIFY deviceNameChanged)
    Q_PROPERTY(QVariantList discoveredPeers READ discoveredPeersForView NOTIFY discoveredPeersChanged)
    Q_PROPERTY(QVariantList pairedDevices READ pairedDevicesForView NOTIFY pairedDevicesChanged)
    Q_PROPERTY(QString pairingPIN READ pairingPINForView NOTIFY pairingPINChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(bool isPairing READ isPairing NOTIFY isPairingChanged)
    Q_PROPERTY(QString pairError READ pairErrorForView NOTIFY pairErrorChanged)

public:
    // Reads the sync preferences; nothing starts before configure().
    explicit SyncCoordinator(SyncEngine& engine, QObject* parent = nullptr);
    ~SyncCoordinator() override;

    bool isEnabled() const { return m_isEnabled; }
    bool requirePIN() const { return m_requirePIN; }
    QString deviceName() const { return m_deviceName; }
    const QList<DiscoveredPeer>& discoveredPeers() const { return m_discoveredPeers; }
    const QList<PairedDeviceRecord>& pairedDevices() const { return m_pairedDevices; }
    std::optional<QString> pairingPIN() const { return m_pairingPIN; }
    QString statusMessage() const { return m_statusMessage; }
    bool isPairing() const { return m_isPairing; }
    std::optional<QString> pairError() const { return m_pairError; }

    // Hands the history to the engine, takes over its callbacks, and starts
    // it when sync is enabled.
    void configure(const std::shared_ptr<ClipStore>& store);

    Q_INVOKABLE void setEnabled(bool enabled);
    Q_INVOKABLE void setRequirePIN(bool required);
    // Trimmed; a blank name is ignored.
    Q_INVOKABLE void setDeviceName(const QString& name);
    // What the settings field holds while it is being edited.
    void editDeviceName(const QString& name);
    Q_INVOKABLE void syncNow();
    // Sends a newly recorded clip when sync is enabled.
    void push(const ClipItem& clip);

    // Pairing from this device's side: offer a PIN to a device that asks,
    // or pair with a discovered peer by the PIN it shows.
    Q_INVOKABLE QString generatePairingPIN();
    void pair(const DiscoveredPeer& peer, const QString& pin);
    Q_INVOKABLE void removePairedDevice(const QString& deviceId);

Q_SIGNALS:
    void isEnabledChanged();
    void requirePINChanged();
    void deviceNameChanged();
    void discoveredPeersChanged();
    void pairedDevicesChanged();
    void pairingPINChanged();
    void statusMessageChanged();
    void isPairingChanged();
    void pairErrorChanged();

private:
    void startEngine();
    void setStatus(const QString& status);
    void setPairingPIN(const std::optional<QString>& pin);
    void setPairedDevices(const QList<PairedDeviceRecord>& devices);
    void setPairing(bool pairing, const std::optional<QString>& error);
    // Runs `work` as a later step on the main thread, while this exists.
    void later(std::function<void()> work);

    QVariantList discoveredPeersForView() const;
    QVariantList pairedDevicesForView() const;
    QString pairingPINForView() const { return m_pairingPIN.value_or(QString()); }
    QString pairErrorForView() const { return m_pairError.value_or(QString()); }

    SyncEngine& m_engine;
    std::weak_ptr<ClipStore> m_store;
    bool m_isEnabled;
    bool m_requirePIN;
    QString m_deviceName;
    QList<DiscoveredPeer> m_discoveredPeers;
    QList<PairedDeviceRecord> m_pairedDevices;
    std::optional<QString> m_pairingPIN;
    QString m_statusMessage;
    bool m_isPairing = false;
    std::optional<QString> m_pairError;
};

} // namespace tessik
