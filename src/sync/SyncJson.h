#pragma once

#include "capture/ClipItemJson.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>

#include <optional>

namespace tessik::SyncJson {

// The JSON conventions shared with other installations: compact UTF-8, every
// "/" written as "\/", bytes as padded standard Base64, times as seconds
// since 2001-01-01 UTC. Thread-safe.

// Compact text of the object with forward slashes escaped.
QByteArray write(const QJsonObject& object);

// Parses a document whose top level must be an object. Throws JsonError.
QJsonObject read(const QByteArray& json);

QJsonObject requiredObject(const QJsonObject& object, const QString& key);

// Attachment bytes (up to many megabytes) kept out of the JSON tree. Qt's
// JSON classes copy and escape a long string several times over; the bytes
// go beside the tree instead, named in it by a placeholder that carries a
// random nonce (no text can name it by chance, no peer can guess it), and
// are spliced into or cut out of the JSON text directly.
class ByteFields {
public:
    ByteFields();

    // Writing: the string to put in the tree in place of the bytes.
    QString placeholder(const QByteArray& bytes);
    // Compact text of the tree with the bytes spliced in as Base64.
    QByteArray write(const QJsonObject& root) const;

    // Reading: parses the document (top level an object; throws JsonError),
    // first cutting out the string values of the given keys that are valid
    // padded Base64. Values that are not are left in place, for the reader
    // to refuse.
    QJsonObject read(const QByteArray& json, const QList<QByteArray>& byteKeys);

    // The value under `key`: none when absent or null, the cut-out bytes for
    // a placeholder, otherwise the Base64 text decoded. Throws JsonError for
    // anything else.
    std::optional<QByteArray> optionalBytes(const QJsonObject& object, const QString& key) const;

private:
    QString m_nonce;
    QList<QByteArray> m_values;  // Base64 text when writing, bytes when reading
};

} // namespace tessik::SyncJson
