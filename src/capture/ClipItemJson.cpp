#include "ClipItemJson.h"

#include <QJsonValue>

#include <cmath>

namespace tessik {

namespace JsonRead {

namespace {

QJsonValue required(const QJsonObject& object, const QString& key) {
    const auto it = object.constFind(key);
    if (it == object.constEnd() || it->isNull()) {
        throw JsonError(QStringLiteral("missing value for key \"%1\"").arg(key));
    }
    return *it;
}

[[noreturn]] void wrongType(const QString& key, const char* expected) {
    throw JsonError(QStringLiteral("value for key \"%1\" is not %2").arg(key, QLatin1String(expected)));
}

} // namespace

QString requiredString(const QJsonObject& object, const QString& key) {
    const QJsonValue value = required(object, key);
    if (!value.isString()) {
        wrongType(key, "a string");
    }
    return value.toString();
}

std::optional<QString> optionalString(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        return std::nullopt;
    }
    if (!value.isString()) {
        wrongType(key, "a string");
    }
    return value.toString();
}

double requiredNumber(const QJsonObject& object, const QString& key) {
    const QJsonValue value = required(object, key);
    if (!value.isDouble()) {
        wrongType(key, "a number");
    }
    return value.toDouble();
}

qint64 requiredInteger(const QJsonObject& object, const QString& key) {
    const double number = requiredNumber(object, key);
    // Doubles hold integers exactly up to 2^53; anything else is no integer.
    constexpr double kLimit = 9007199254740992.0;
    if (std::trunc(number) != number || std::fabs(number) > kLimit) {
        wrongType(key, "an integer");
    }
    return static_cast<qint64>(number);
}

bool requiredBool(const QJsonObject& object, const QString& key) {
    const QJsonValue value = required(object, key);
    if (!value.isBool()) {
        wrongType(key, "a boolean");
    }
    return value.toBool();
}

QUuid requiredUuid(const QJsonObject& object, const QString& key) {
    const std::optional<QUuid> id = parseUuid(requiredString(object, key));
    if (!id) {
        throw JsonError(QStringLiteral("value for key \"%1\" is not a UUID").arg(key));
    }
    return *id;
}

} // namespace JsonRead

namespace ClipItemJson {

namespace {

void putOptional(QJsonObject& object, const QString& key, const std::optional<QString>& value) {
    if (value) {
        object.insert(key, *value);
    }
}

} // namespace

QJsonObject encode(const ClipItem& item) {
    QJsonObject object;
    object.insert(QStringLiteral("id"), uuidText(item.id));
    object.insert(QStringLiteral("createdAt"), item.createdAt - kSecondsFrom1970To2001);
    object.insert(QStringLiteral("deviceId"), item.deviceId);
    object.insert(QStringLiteral("contentType"), ContentTypes::rawValue(item.contentType));
    putOptional(object, QStringLiteral("plainText"), item.plainText);
    putOptional(object, QStringLiteral("richTextPath"), item.richTextPath);
    putOptional(object, QStringLiteral("imagePath"), item.imagePath);
    putOptional(object, QStringLiteral("thumbnailPath"), item.thumbnailPath);
    putOptional(object, QStringLiteral("sourceAppName"), item.sourceAppName);
    putOptional(object, QStringLiteral("sourceBundleId"), item.sourceBundleId);
    object.insert(QStringLiteral("isPinned"), item.isPinned);
    object.insert(QStringLiteral("contentHash"), item.contentHash);
    object.insert(QStringLiteral("byteSize"), item.byteSize);
    return object;
}

ClipItem decode(const QJsonObject& object) {
    using namespace JsonRead;
    ClipItem item;
    item.id = requiredUuid(object, QStringLiteral("id"));
    item.createdAt = requiredNumber(object, QStringLiteral("createdAt")) + kSecondsFrom1970To2001;
    item.deviceId = requiredString(object, QStringLiteral("deviceId"));
    const QString raw = requiredString(object, QStringLiteral("contentType"));
    const std::optional<ContentType> type = ContentTypes::fromRawValue(raw);
    if (!type) {
        throw JsonError(QStringLiteral("unknown content type \"%1\"").arg(raw));
    }
    item.contentType = *type;
    item.plainText = optionalString(object, QStringLiteral("plainText"));
    item.richTextPath = optionalString(object, QStringLiteral("richTextPath"));
    item.imagePath = optionalString(object, QStringLiteral("imagePath"));
    item.thumbnailPath = optionalString(object, QStringLiteral("thumbnailPath"));
    item.sourceAppName = optionalString(object, QStringLiteral("sourceAppName"));
    item.sourceBundleId = optionalString(object, QStringLiteral("sourceBundleId"));
    item.isPinned = requiredBool(object, QStringLiteral("isPinned"));
    item.contentHash = requiredString(object, QStringLiteral("contentHash"));
    item.byteSize = requiredInteger(object, QStringLiteral("byteSize"));
    return item;
}

} // namespace ClipItemJson

} // namespace tessik
