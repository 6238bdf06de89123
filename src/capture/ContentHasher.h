#pragma once

#include <QByteArray>
#include <QString>

namespace tessik::ContentHasher {

// SHA-256 written as 64 lower-case hexadecimal characters, no salt. This is
// the key of duplicate suppression and is compared with hashes computed by
// other installations, so it must never change. Thread-safe.

// Over the UTF-8 bytes of the text.
QString hash(const QString& text);
// Over the bytes as given.
QString hash(const QByteArray& data);

} // namespace tessik::ContentHasher
