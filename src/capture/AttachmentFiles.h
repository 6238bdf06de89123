#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tessik::AttachmentFiles {

// Reading and writing files of the flat attachments folder by bare file
// name. Thread-safe.

// Names come from the database and from other devices, so only a bare file
// name is accepted: anything with a "/", ".", ".." or empty names no file
// (reads give none, writes fail, removal skips it).
bool isBareName(const QString& name);

// Writes `bytes` to `directory/name` atomically (a reader never sees half a
// file, and a failed write leaves no file). Returns whether it succeeded.
bool write(const QString& directory, const QString& name, const QByteArray& bytes);

// The bytes of `directory/name`, or none when the file is missing or cannot
// be read.
std::optional<QByteArray> read(const QString& directory, const QString& name);

// Removes `directory/name` for each name given; missing files are no error.
void remove(const QString& directory, const QStringList& names);

} // namespace tessik::AttachmentFiles
