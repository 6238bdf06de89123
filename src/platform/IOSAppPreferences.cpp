#include "IOSAppPreferences.h"

#include "DeviceNaming.h"
#include "NotificationCenter.h"
#include "UserDefaults.h"

namespace tessik::IOSAppPreferences {

namespace {

const QString kHistoryLimit = QStringLiteral("historyLimit");
const QString kIsPausedRecording = QStringLiteral("isPausedRecording");
const QString kSyncEnabled = QStringLiteral("syncEnabled");
const QString kSyncRequirePIN = QStringLiteral("syncRequirePIN");
const QString kSyncDeviceName = QStringLiteral("syncDeviceName");
const QString kFavoriteCloudSyncEnabled = QStringLiteral("favoriteCloudSyncEnabled");
const QString kLastFavoriteCategoryID = QStringLiteral("lastFavoriteCategoryID");

bool readBool(const QString& key) {
    return UserDefaults::open()->value(key, false).toBool();
}

void write(const QString& key, const QVariant& value) {
    auto defaults = UserDefaults::open();
    defaults->setValue(key, value);
    defaults->sync();
}

} // namespace

const QList<int>& allowedHistoryLimits() {
    static const QList<int> limits{100, 200, 500, 1000};
    return limits;
}

int historyLimit() {
    bool ok = false;
    const int stored = UserDefaults::open()->value(kHistoryLimit).toInt(&ok);
    return ok && allowedHistoryLimits().contains(stored) ? stored : kDefaultHistoryLimit;
}

void setHistoryLimit(int limit) {
    write(kHistoryLimit, limit);
}

bool isPausedRecording() {
    return readBool(kIsPausedRecording);
}

void setIsPausedRecording(bool paused) {
    write(kIsPausedRecording, paused);
}

bool syncEnabled() {
    return readBool(kSyncEnabled);
}

void setSyncEnabled(bool enabled) {
    write(kSyncEnabled, enabled);
    NotificationCenter::defaultCenter().post(NotificationCenter::syncPreferenceChanged);
}

bool syncRequirePIN() {
    return readBool(kSyncRequirePIN);
}

void setSyncRequirePIN(bool required) {
    write(kSyncRequirePIN, required);
    NotificationCenter::defaultCenter().post(NotificationCenter::syncPreferenceChanged);
}

QString syncDeviceName() {
    const QString stored = UserDefaults::open()->value(kSyncDeviceName).toString();
    return stored.isEmpty() ? DeviceNaming::defaultSyncName() : stored;
}

void setSyncDeviceName(const QString& name) {
    write(kSyncDeviceName, name);
    NotificationCenter::defaultCenter().post(NotificationCenter::syncPreferenceChanged);
}

bool favoriteCloudSyncEnabled() {
    return readBool(kFavoriteCloudSyncEnabled);
}

void setFavoriteCloudSyncEnabled(bool enabled) {
    write(kFavoriteCloudSyncEnabled, enabled);
    NotificationCenter::defaultCenter().post(
        NotificationCenter::favoriteCloudSyncPreferenceChanged);
}

std::optional<QString> lastFavoriteCategoryID() {
    const QVariant stored = UserDefaults::open()->value(kLastFavoriteCategoryID);
    if (!stored.isValid()) {
        return std::nullopt;
    }
    return stored.toString();
}

void setLastFavoriteCategoryID(const std::optional<QString>& id) {
    auto defaults = UserDefaults::open();
    if (id) {
        defaults->setValue(kLastFavoriteCategoryID, *id);
    } else {
        defaults->remove(kLastFavoriteCategoryID);
    }
    defaults->sync();
}

} // namespace tessik::IOSAppPreferences
