#pragma once

#include "sync/SyncClipPayload.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

namespace tessik {

// One message of the local-network protocol. On the wire it is a JSON object
// with exactly one member: the case name, holding an object of the case's
// values by label ({"health":{}}, {"error":{"_0":"未授权"}}). Other
// installations read and write the same form. A value type; thread-safe.
struct SyncMessage {
    struct Health {
        bool operator==(const Health&) const = default;
    };
    struct HealthResponse {
        bool ok = false;
        QString deviceName;
        QString deviceId;
        bool operator==(const HealthResponse&) const = default;
    };
    struct PairRequest {
        QString pin;
        QString deviceId;
        QString deviceName;
        bool operator==(const PairRequest&) const = default;
    };
    struct PairResponse {
        std::optional<QString> token;
        std::optional<QString> error;
        bool operator==(const PairResponse&) const = default;
    };
    struct PullRequest {
        double since = 0;  // seconds since 1970, unlike every other time
        QString token;
        bool operator==(const PullRequest&) const = default;
    };
    struct PullResponse {
        QList<SyncClipPayload> clips;
        bool operator==(const PullResponse&) const = default;
    };
    struct PushRequest {
        SyncClipPayload clip;
        QString token;
        bool operator==(const PushRequest&) const = default;
    };
    struct PushResponse {
        bool ok = false;
        bool operator==(const PushResponse&) const = default;
    };
    struct DeleteRequest {
        QString clipId;  // UUID text of the clip
        QString token;
        bool operator==(const DeleteRequest&) const = default;
    };
    struct DeleteResponse {
        bool ok = false;
        bool operator==(const DeleteResponse&) const = default;
    };
    struct ErrorReply {  // the "error" case: a refusal with its reason
        QString message;
        bool operator==(const ErrorReply&) const = default;
    };

    using Case = std::variant<Health, HealthResponse, PairRequest, PairResponse, PullRequest,
                              PullResponse, PushRequest, PushResponse, DeleteRequest,
                              DeleteResponse, ErrorReply>;
    Case value;

    bool operator==(const SyncMessage&) const = default;

    // "health", "healthResponse", ..., "error".
    QString caseName() const;

    // Compact UTF-8 JSON.
    QByteArray encode() const;
    // Throws JsonError when the text is not exactly one readable message;
    // zero or several case keys give "Invalid number of keys found, expected
    // one.". Keys that name no case are ignored.
    static SyncMessage decode(const QByteArray& json);
};

} // namespace tessik
