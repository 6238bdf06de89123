#include "SyncMessage.h"

#include "capture/ClipItemJson.h"
#include "sync/SyncJson.h"

#include <QJsonArray>

namespace tessik {

namespace {

using M = SyncMessage;
using namespace JsonRead;

const QStringList& caseNames() {
    // In the order of the variant's alternatives.
    static const QStringList names{
        QStringLiteral("health"),        QStringLiteral("healthResponse"),
        QStringLiteral("pairRequest"),   QStringLiteral("pairResponse"),
        QStringLiteral("pullRequest"),   QStringLiteral("pullResponse"),
        QStringLiteral("pushRequest"),   QStringLiteral("pushResponse"),
        QStringLiteral("deleteRequest"), QStringLiteral("deleteResponse"),
        QStringLiteral("error"),
    };
    return names;
}

QString key(const char* name) {
    return QString::fromLatin1(name);
}

struct Encoder {
    SyncJson::ByteFields* fields;

    QJsonObject operator()(const M::Health&) const { return {}; }
    QJsonObject operator()(const M::HealthResponse& m) const {
        return {{key("ok"), m.ok}, {key("deviceName"), m.deviceName}, {key("deviceId"), m.deviceId}};
    }
    QJsonObject operator()(const M::PairRequest& m) const {
        return {{key("pin"), m.pin}, {key("deviceId"), m.deviceId}, {key("deviceName"), m.deviceName}};
    }
    QJsonObject operator()(const M::PairResponse& m) const {
        QJsonObject object;
        if (m.token) {
            object.insert(key("token"), *m.token);
        }
        if (m.error) {
            object.insert(key("error"), *m.error);
        }
        return object;
    }
    QJsonObject operator()(const M::PullRequest& m) const {
        return {{key("since"), m.since}, {key("token"), m.token}};
    }
    QJsonObject operator()(const M::PullResponse& m) const {
        QJsonArray clips;
        for (const SyncClipPayload& clip : m.clips) {
            clips.append(clip.toJson(fields));
        }
        return {{key("clips"), clips}};
    }
    QJsonObject operator()(const M::PushRequest& m) const {
        return {{key("clip"), m.clip.toJson(fields)}, {key("token"), m.token}};
    }
    QJsonObject operator()(const M::PushResponse& m) const { return {{key("ok"), m.ok}}; }
    QJsonObject operator()(const M::DeleteRequest& m) const {
        return {{key("clipId"), m.clipId}, {key("token"), m.token}};
    }
    QJsonObject operator()(const M::DeleteResponse& m) const { return {{key("ok"), m.ok}}; }
    QJsonObject operator()(const M::ErrorReply& m) const { return {{key("_0"), m.message}}; }
};

M::Case decodeCase(qsizetype index, const QJsonObject& o, const SyncJson::ByteFields& fields) {
    switch (index) {
    case 0:
        return M::Health{};
    case 1:
        return M::HealthResponse{requiredBool(o, key("ok")), requiredString(o, key("deviceName")),
                                 requiredString(o, key("deviceId"))};
    case 2:
        return M::PairRequest{requiredString(o, key("pin")), requiredString(o, key("deviceId")),
                              requiredString(o, key("deviceName"))};
    case 3:
        return M::PairResponse{optionalString(o, key("token")), optionalString(o, key("error"))};
    case 4:
        return M::PullRequest{requiredNumber(o, key("since")), requiredString(o, key("token"))};
    case 5: {
        const QJsonValue value = o.value(key("clips"));
        if (value.isUndefined() || value.isNull()) {
            throw JsonError(QStringLiteral("missing value for key \"clips\""));
        }
        if (!value.isArray()) {
            throw JsonError(QStringLiteral("value for key \"clips\" is not an array"));
        }
        M::PullResponse response;
        for (const QJsonValue& clip : value.toArray()) {
            if (!clip.isObject()) {
                throw JsonError(QStringLiteral("an element of \"clips\" is not an object"));
            }
            response.clips.append(SyncClipPayload::fromJson(clip.toObject(), &fields));
        }
        return response;
    }
    case 6:
        return M::PushRequest{SyncClipPayload::fromJson(SyncJson::requiredObject(o, key("clip")), &fields),
                              requiredString(o, key("token"))};
    case 7:
        return M::PushResponse{requiredBool(o, key("ok"))};
    case 8:
        return M::DeleteRequest{requiredString(o, key("clipId")), requiredString(o, key("token"))};
    case 9:
        return M::DeleteResponse{requiredBool(o, key("ok"))};
    default:
        return M::ErrorReply{requiredString(o, key("_0"))};
    }
}

} // namespace

QString SyncMessage::caseName() const {
    return caseNames().at(static_cast<qsizetype>(value.index()));
}

QByteArray SyncMessage::encode() const {
    SyncJson::ByteFields fields;
    QJsonObject message;
    message.insert(caseName(), std::visit(Encoder{&fields}, value));
    return fields.write(message);
}

SyncMessage SyncMessage::decode(const QByteArray& json) {
    SyncJson::ByteFields fields;
    const QJsonObject top = fields.read(json, SyncClipPayload::byteKeys());
    qsizetype found = -1;
    int count = 0;
    for (qsizetype i = 0; i < caseNames().size(); ++i) {
        if (top.contains(caseNames().at(i))) {
            found = i;
            ++count;
        }
    }
    if (count != 1) {
        throw JsonError(QStringLiteral("Invalid number of keys found, expected one."));
    }
    const QJsonValue inner = top.value(caseNames().at(found));
    if (!inner.isObject()) {
        throw JsonError(
            QStringLiteral("value for key \"%1\" is not an object").arg(caseNames().at(found)));
    }
    return SyncMessage{decodeCase(found, inner.toObject(), fields)};
}

} // namespace tessik
