#pragma once

#include "capture/ClipItem.h"
#include "platform/Error.h"
#include "platform/Uuid.h"

#include <QJsonObject>

namespace tessik {

// A JSON document or member that cannot be read as the expected form.
class JsonError : public Error {
public:
    using Error::Error;
};

// The JSON object form of a clip, shared with other installations: one key
// per field under the field's name, `createdAt` in seconds since 2001-01-01
// UTC, the id as upper-case UUID text, absent optional texts left out.
namespace ClipItemJson {

QJsonObject encode(const ClipItem& item);

// Reads the object strictly: a missing required key, a value of the wrong
// JSON type, an unknown content type or an id that is not a UUID throws
// JsonError. `null` reads as absent for the optional texts; unknown keys are
// ignored; lower-case UUIDs are accepted.
ClipItem decode(const QJsonObject& object);

} // namespace ClipItemJson

// Helpers shared by the JSON codecs.
namespace JsonRead {

QString requiredString(const QJsonObject& object, const QString& key);
std::optional<QString> optionalString(const QJsonObject& object, const QString& key);
double requiredNumber(const QJsonObject& object, const QString& key);
qint64 requiredInteger(const QJsonObject& object, const QString& key);
bool requiredBool(const QJsonObject& object, const QString& key);
QUuid requiredUuid(const QJsonObject& object, const QString& key);

} // namespace JsonRead

} // namespace tessik
