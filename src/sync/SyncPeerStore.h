#pragma once

#include "sync/PairedDeviceRecord.h"

#include <QList>
#include <QMutex>
#include <QString>

namespace tessik {

// The whole content of "sync-config.json".
struct SyncConfigFile {
    QList<PairedDeviceRecord> pairedDevices;
    QString deviceName;

    bool operator==(const SyncConfigFile&) const = default;
};

// The sync settings that outlive the process: paired devices with their
// tokens, and this device's sync name, in "sync-config.json" in the support
// folder. The file holds secrets, so it is written readable by its owner
// only. Every operation is thread-safe and never fails: an unreadable file
// reads as the default configuration, a failed write is skipped.
class SyncPeerStore {
public:
    explicit SyncPeerStore(const QString& configURL);
    // The store of the support folder's "sync-config.json".
    static SyncPeerStore& shared();

    // The stored configuration, or no pairings and the default device name.
    // Never writes.
    SyncConfigFile load();
    // Replaces the file atomically.
    void save(const SyncConfigFile& config);

    void updateDeviceName(const QString& name);
    // Replaces the device's record in place, or appends it.
    void upsertPairedDevice(const PairedDeviceRecord& record);
    void removePairedDevice(const QString& deviceId);

    const QString& url() const { return m_url; }

private:
    SyncConfigFile loadLocked();
    void saveLocked(const SyncConfigFile& config);

    QString m_url;
    QMutex m_lock;
};

} // namespace tessik
