#include "SyncCoordinator.h"

#include "capture/ClipItem.h"
#include "platform/IOSAppPreferences.h"
#include "sync/SyncEngine.h"

#include <QPointer>
#include <QVariantMap>

namespace tessik {

SyncCoordinator::SyncCoordinator(SyncEngine& engine, QObject* parent)
    : QObject(parent), m_engine(engine), m_isEnabled(IOSAppPreferences::syncEnabled()),
      m_requirePIN(IOSAppPreferences::syncRequirePIN()),
      m_deviceName(IOSAppPreferences::syncDeviceName()),
      m_statusMessage(QStringLiteral("未启动")) {}

SyncCoordinator::~SyncCoordinator() {
    // The engine outlives this object: it must not call back into it.
    m_engine.onPeersUpdated = nullptr;
    m_engine.onStatusChanged = nullptr;
    m_engine.onPairedDevicesChanged = nullptr;
    m_engine.onPINChanged = nullptr;
}

void SyncCoordinator::later(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void SyncCoordinator::configure(const std::shared_ptr<ClipStore>& store) {
    m_store = store;
    m_engine.configure(store);
    // Each report becomes a property change in a later main-thread step; the
    // queued call is dropped if this object is gone by then.
    m_engine.onPeersUpdated = [this](const QList<DiscoveredPeer>& peers) {
        later([this, peers] {
            m_discoveredPeers = peers;
            Q_EMIT discoveredPeersChanged();
        });
    };
    m_engine.onStatusChanged = [this](const QString& status) {
        later([this, status] { setStatus(status); });
    };
    m_engine.onPairedDevicesChanged = [this](const QList<PairedDeviceRecord>& devices) {
        later([this, devices] { setPairedDevices(devices); });
    };
    m_engine.onPINChanged = [this](const std::optional<QString>& pin) {
        later([this, pin] { setPairingPIN(pin); });
    };
    setPairedDevices(m_engine.pairedDevices());
    if (m_isEnabled) {
        startEngine();
    }
}

void SyncCoordinator::startEngine() {
    m_engine.setDeviceName(m_deviceName);
    m_engine.setRequirePIN(m_requirePIN);
    m_engine.start(m_requirePIN);
    setStatus(m_requirePIN ? QStringLiteral("同步服务运行中（需 PIN）")
                           : QStringLiteral("同步服务运行中（自动同步）"));
}

void SyncCoordinator::setEnabled(bool enabled) {
    if (m_isEnabled != enabled) {
        m_isEnabled = enabled;
        Q_EMIT isEnabledChanged();
    }
    IOSAppPreferences::setSyncEnabled(enabled);
    if (enabled) {
        startEngine();
    } else {
        m_engine.stop();
        setPairingPIN(std::nullopt);
        setStatus(QStringLiteral("同步已停止"));
    }
}

void SyncCoordinator::setRequirePIN(bool required) {
    if (m_requirePIN != required) {
        m_requirePIN = required;
        Q_EMIT requirePINChanged();
    }
    IOSAppPreferences::setSyncRequirePIN(required);
    m_engine.setRequirePIN(required);
    if (m_isEnabled && !required) {
        m_engine.pullFromAllPeers();
    }
}

void SyncCoordinator::editDeviceName(const QString& name) {
    if (m_deviceName != name) {
        m_deviceName = name;
        Q_EMIT deviceNameChanged();
    }
}

void SyncCoordinator::setDeviceName(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        return;
    }
    editDeviceName(trimmed);
    IOSAppPreferences::setSyncDeviceName(trimmed);
    m_engine.setDeviceName(trimmed);
}

void SyncCoordinator::syncNow() {
    m_engine.pullFromAllPeers();
    setStatus(QStringLiteral("正在同步…"));
}

void SyncCoordinator::push(const ClipItem& clip) {
    if (m_isEnabled) {
        m_engine.pushClip(clip);
    }
}

QString SyncCoordinator::generatePairingPIN() {
    const QString pin = m_engine.generatePairingPIN();
    setPairingPIN(pin);
    return pin;
}

void SyncCoordinator::pair(const DiscoveredPeer& peer, const QString& pin) {
    setPairing(true, std::nullopt);
    QPointer<SyncCoordinator> self(this);
    m_engine.pair(peer, pin, [self](const SyncEngine::PairingResult& result) {
        // On the engine's thread: the outcome goes to the main thread.
        QMetaObject::invokeMethod(
            self.data(),
            [self, result] {
                if (!self) {
                    return;
                }
                if (const auto* record = std::get_if<PairedDeviceRecord>(&result)) {
                    self->setPairing(false, std::nullopt);
                    self->setStatus(QStringLiteral("已与 ") + record->deviceName + QStringLiteral(" 配对"));
                } else {
                    self->setPairing(false, std::get<std::shared_ptr<const Error>>(result)->description());
                }
            },
            Qt::QueuedConnection);
    });
}

void SyncCoordinator::removePairedDevice(const QString& deviceId) {
    m_engine.removePairedDevice(deviceId);
}

void SyncCoordinator::setStatus(const QString& status) {
    m_statusMessage = status;
    Q_EMIT statusMessageChanged();
}

void SyncCoordinator::setPairingPIN(const std::optional<QString>& pin) {
    if (m_pairingPIN != pin) {
        m_pairingPIN = pin;
        Q_EMIT pairingPINChanged();
    }
}

void SyncCoordinator::setPairedDevices(const QList<PairedDeviceRecord>& devices) {
    m_pairedDevices = devices;
    Q_EMIT pairedDevicesChanged();
}

void SyncCoordinator::setPairing(bool pairing, const std::optional<QString>& error) {
    if (m_isPairing != pairing) {
        m_isPairing = pairing;
        Q_EMIT isPairingChanged();
    }
    if (m_pairError != error) {
        m_pairError = error;
        Q_EMIT pairErrorChanged();
    }
}

QVariantList SyncCoordinator::discoveredPeersForView() const {
    QVariantList list;
    for (const DiscoveredPeer& peer : m_discoveredPeers) {
        list.append(QVariantMap{{QStringLiteral("id"), peer.id},
                                {QStringLiteral("name"), peer.name},
                                {QStringLiteral("endpointDescription"), peer.endpointDescription}});
    }
    return list;
}

QVariantList SyncCoordinator::pairedDevicesForView() const {
    QVariantList list;
    for (const PairedDeviceRecord& record : m_pairedDevices) {
        list.append(QVariantMap{{QStringLiteral("deviceId"), record.deviceId},
                                {QStringLiteral("deviceName"), record.deviceName},
                                {QStringLiteral("pairedAt"), record.pairedAt}});
    }
    return list;
}

} // namespace tessik
