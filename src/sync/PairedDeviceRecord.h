#pragma once

#include "platform/Clock.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace tessik {

// A device this device has paired with, in either direction. Identified by
// `deviceId`. Stored in the peer-store file; a value type.
struct PairedDeviceRecord {
    QString deviceId;
    QString deviceName;
    QString token;
    TimePoint pairedAt = 0;
    std::optional<TimePoint> lastSeenAt;
    std::optional<QString> endpointDescription;

    bool operator==(const PairedDeviceRecord&) const = default;
    const QString& id() const { return deviceId; }

    // Times as seconds since 2001-01-01 UTC; absent optionals left out.
    QJsonObject toJson() const;
    // Throws JsonError when a required key is missing or a value mistyped.
    static PairedDeviceRecord fromJson(const QJsonObject& object);
};

// One service found on the network. Never stored.
struct DiscoveredPeer {
    QString id;  // service name + "-" + endpoint description
    QString name;  // the advertised service name: the other device's sync name
    QString endpointDescription;

    bool operator==(const DiscoveredPeer&) const = default;
};

} // namespace tessik
