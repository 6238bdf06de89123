#pragma once

#include "capture/ClipItemJson.h"

#include <QByteArray>
#include <QJsonObject>

#include <optional>

namespace tessik::SyncJson {

// The JSON conventions shared with other installations: compact UTF-8, every
// "/" written as "\/", bytes as padded standard Base64, times as seconds
// since 2001-01-01 UTC. Thread-safe.

// Compact text of the object with forward slashes escaped.
QByteArray write(const QJsonObject& object);

// Parses a document whose top level must be an object. Throws JsonError.
QJsonObject read(const QByteArray& json);

QString base64(const QByteArray& bytes);
// Absent or null gives none; anything but padded standard Base64 throws.
std::optional<QByteArray> optionalBytes(const QJsonObject& object, const QString& key);
QJsonObject requiredObject(const QJsonObject& object, const QString& key);

} // namespace tessik::SyncJson
