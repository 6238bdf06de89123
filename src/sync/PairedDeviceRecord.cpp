#include "PairedDeviceRecord.h"

#include "capture/ClipItemJson.h"

namespace tessik {

namespace {
const QString kDeviceId = QStringLiteral("deviceId");
const QString kDeviceName = QStringLiteral("deviceName");
const QString kToken = QStringLiteral("token");
const QString kPairedAt = QStringLiteral("pairedAt");
const QString kLastSeenAt = QStringLiteral("lastSeenAt");
const QString kEndpointDescription = QStringLiteral("endpointDescription");
} // namespace

QJsonObject PairedDeviceRecord::toJson() const {
    QJsonObject object{{kDeviceId, deviceId},
                       {kDeviceName, deviceName},
                       {kToken, token},
                       {kPairedAt, pairedAt - kSecondsFrom1970To2001}};
    if (lastSeenAt) {
        object.insert(kLastSeenAt, *lastSeenAt - kSecondsFrom1970To2001);
    }
    if (endpointDescription) {
        object.insert(kEndpointDescription, *endpointDescription);
    }
    return object;
}

PairedDeviceRecord PairedDeviceRecord::fromJson(const QJsonObject& object) {
    using namespace JsonRead;
    PairedDeviceRecord record;
    record.deviceId = requiredString(object, kDeviceId);
    record.deviceName = requiredString(object, kDeviceName);
    record.token = requiredString(object, kToken);
    record.pairedAt = requiredNumber(object, kPairedAt) + kSecondsFrom1970To2001;
    const QJsonValue lastSeen = object.value(kLastSeenAt);
    if (!lastSeen.isUndefined() && !lastSeen.isNull()) {
        record.lastSeenAt = requiredNumber(object, kLastSeenAt) + kSecondsFrom1970To2001;
    }
    record.endpointDescription = optionalString(object, kEndpointDescription);
    return record;
}

} // namespace tessik
