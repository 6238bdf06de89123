#pragma once

#include <QString>

namespace tessik::SyncConstants {

// The service advertised and browsed on the local network.
inline const QString serviceType = QStringLiteral("_tessik._tcp");
inline const QString serviceDomain = QStringLiteral("local.");
// Accepted instead of a paired token while this device does not require PIN
// pairing, and sent by automatic sync. Shared with the other installations.
inline const QString lanTrustToken = QStringLiteral("zorbi.kelpy.wandle");
// Least time between two automatic syncs with one peer, in seconds.
inline constexpr double autoSyncDebounce = 20.0;

} // namespace tessik::SyncConstants
