#include "SyncPeerStore.h"

#include "capture/ClipItemJson.h"
#include "platform/AppPaths.h"
#include "platform/DeviceNaming.h"
#include "sync/SyncJson.h"

#include <QFile>
#include <QJsonArray>
#include <QSaveFile>

namespace tessik {

namespace {

SyncConfigFile defaultConfig() {
    return SyncConfigFile{{}, DeviceNaming::defaultSyncName()};
}

SyncConfigFile decode(const QByteArray& bytes) {
    const QJsonObject object = SyncJson::read(bytes);
    const QJsonValue devices = object.value(QStringLiteral("pairedDevices"));
    if (!devices.isArray()) {
        throw JsonError(QStringLiteral("\"pairedDevices\" is not an array"));
    }
    SyncConfigFile config;
    for (const QJsonValue& device : devices.toArray()) {
        if (!device.isObject()) {
            throw JsonError(QStringLiteral("a paired device is not an object"));
        }
        config.pairedDevices.append(PairedDeviceRecord::fromJson(device.toObject()));
    }
    config.deviceName = JsonRead::requiredString(object, QStringLiteral("deviceName"));
    return config;
}

QByteArray encode(const SyncConfigFile& config) {
    QJsonArray devices;
    for (const PairedDeviceRecord& record : config.pairedDevices) {
        devices.append(record.toJson());
    }
    return SyncJson::write(QJsonObject{{QStringLiteral("pairedDevices"), devices},
                                       {QStringLiteral("deviceName"), config.deviceName}});
}

} // namespace

SyncPeerStore::SyncPeerStore(const QString& configURL) : m_url(configURL) {}

SyncPeerStore& SyncPeerStore::shared() {
    static SyncPeerStore store(AppPaths::appSupportDirectory() + QStringLiteral("/sync-config.json"));
    return store;
}

SyncConfigFile SyncPeerStore::loadLocked() {
    QFile file(m_url);
    if (!file.open(QIODevice::ReadOnly)) {
        return defaultConfig();
    }
    try {
        return decode(file.readAll());
    } catch (const JsonError&) {
        return defaultConfig();
    }
}

void SyncPeerStore::saveLocked(const SyncConfigFile& config) {
    QSaveFile file(m_url);
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    // Owner only, set before the tokens are written.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(encode(config));
    file.commit();
}

SyncConfigFile SyncPeerStore::load() {
    QMutexLocker lock(&m_lock);
    return loadLocked();
}

void SyncPeerStore::save(const SyncConfigFile& config) {
    QMutexLocker lock(&m_lock);
    saveLocked(config);
}

// The changing operations hold the lock across their read and write, so two
// of them on different threads cannot lose each other's change.
void SyncPeerStore::updateDeviceName(const QString& name) {
    QMutexLocker lock(&m_lock);
    SyncConfigFile config = loadLocked();
    config.deviceName = name;
    saveLocked(config);
}

void SyncPeerStore::upsertPairedDevice(const PairedDeviceRecord& record) {
    QMutexLocker lock(&m_lock);
    SyncConfigFile config = loadLocked();
    const auto existing = std::find_if(config.pairedDevices.begin(), config.pairedDevices.end(),
                                       [&](const PairedDeviceRecord& stored) {
                                           return stored.deviceId == record.deviceId;
                                       });
    if (existing != config.pairedDevices.end()) {
        *existing = record;
    } else {
        config.pairedDevices.append(record);
    }
    saveLocked(config);
}

void SyncPeerStore::removePairedDevice(const QString& deviceId) {
    QMutexLocker lock(&m_lock);
    SyncConfigFile config = loadLocked();
    config.pairedDevices.removeIf(
        [&](const PairedDeviceRecord& stored) { return stored.deviceId == deviceId; });
    saveLocked(config);
}

} // namespace tessik
