#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace tessik::IOSAppPreferences {

// Every saved setting of the application, read from and written to the user
// defaults store at every call (nothing is cached). Thread-safe.

// The history limits the user can choose, in the order they are offered.
const QList<int>& allowedHistoryLimits();
inline constexpr int kDefaultHistoryLimit = 500;

// "historyLimit": the saved value when it is one of allowedHistoryLimits(),
// otherwise 500. The write stores what it is given without checking it.
int historyLimit();
void setHistoryLimit(int limit);

// "isPausedRecording", default false.
bool isPausedRecording();
void setIsPausedRecording(bool paused);

// "syncEnabled", "syncRequirePIN", default false. Writes post
// "tessik.syncPreferenceChanged", also when the value did not change.
bool syncEnabled();
void setSyncEnabled(bool enabled);
bool syncRequirePIN();
void setSyncRequirePIN(bool required);

// "syncDeviceName": the saved text when present and not empty, otherwise the
// device's name. The write posts "tessik.syncPreferenceChanged".
QString syncDeviceName();
void setSyncDeviceName(const QString& name);

// "favoriteCloudSyncEnabled", default false. The write posts
// "tessik.favoriteCloudSyncPreferenceChanged".
bool favoriteCloudSyncEnabled();
void setFavoriteCloudSyncEnabled(bool enabled);

// "lastFavoriteCategoryID": optional UUID text; writing none removes the key.
std::optional<QString> lastFavoriteCategoryID();
void setLastFavoriteCategoryID(const std::optional<QString>& id);

} // namespace tessik::IOSAppPreferences
