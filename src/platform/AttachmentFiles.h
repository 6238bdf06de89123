#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tessik::AttachmentFiles {

// Attachment files live in one flat folder and are named by bare file names.
// Names come from this device, from peers and from stored rows, so every name
// is checked before it touches the file system. Thread-safe.

// True for a bare file name: not empty, not absolute, no "/" or "\",
// not "." or "..", no ".." inside it, no NUL.
bool isSafeName(const QString& name);

// The name when it is safe, otherwise none. Use it wherever a name is taken
// from a payload, a snapshot or a database row.
std::optional<QString> safeName(const std::optional<QString>& name);

// The whole content of the named file in `folder`, or none when the name is
// unsafe, the file cannot be read, or the file (after resolving symbolic
// links) lies outside `folder` or is not a regular file.
std::optional<QByteArray> read(const QString& folder, const QString& name);

// Writes the bytes to the named file in `folder` atomically, replacing an
// existing file. False when the name is unsafe or the write fails.
bool write(const QString& folder, const QString& name, const QByteArray& bytes);

// Removes the named files from `folder`; unsafe names and missing files are
// skipped.
void remove(const QString& folder, const QStringList& names);

} // namespace tessik::AttachmentFiles
