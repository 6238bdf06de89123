#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace tessik {

// The upper-case 36-character text of a UUID, the one form ids are written
// in everywhere (database, preferences, JSON).
QString uuidText(const QUuid& id);

// Reads the 8-4-4-4-12 hexadecimal form in either letter case; anything else
// (braces, missing digits, other text) gives no value.
std::optional<QUuid> parseUuid(const QString& text);

} // namespace tessik
