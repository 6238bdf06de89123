#pragma once

#include "capture/ClipItem.h"
#include "store/Sqlite.h"

#include <optional>

namespace tessik {

// A row of "clip_items", field for field as the columns are stored.
struct ClipRecord {
    static inline const QString tableName = QStringLiteral("clip_items");
    // The thirteen columns in table order, for SELECT and INSERT lists.
    static const QString& columnList();

    QString id;
    double createdAt = 0;  // seconds since 1970
    QString deviceId;
    QString contentType;
    std::optional<QString> plainText;
    std::optional<QString> richTextPath;
    std::optional<QString> imagePath;
    std::optional<QString> thumbnailPath;
    std::optional<QString> sourceAppName;
    std::optional<QString> sourceBundleId;
    bool isPinned = false;
    QString contentHash;
    qint64 byteSize = 0;

    static ClipRecord fromItem(const ClipItem& item);
    // A row whose id is not a UUID gets a fresh random id in the item (the
    // row is not changed); an unknown content type reads as plain text; an
    // attachment path that is not a bare file name reads as absent.
    ClipItem toItem() const;

    // Reads the current row of a statement that selected columnList().
    static ClipRecord read(const sqlite::Statement& statement);
    // Binds the thirteen values to ?1..?13 in column order.
    void bind(sqlite::Statement& statement) const;
};

} // namespace tessik
