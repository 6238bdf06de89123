#include "ClipRecord.h"

#include "platform/AttachmentFiles.h"
#include "platform/Uuid.h"

namespace tessik {

const QString& ClipRecord::columnList() {
    static const QString columns = QStringLiteral(
        "id, createdAt, deviceId, contentType, plainText, richTextPath, imagePath, "
        "thumbnailPath, sourceAppName, sourceBundleId, isPinned, contentHash, byteSize");
    return columns;
}

ClipRecord ClipRecord::fromItem(const ClipItem& item) {
    return ClipRecord{
        uuidText(item.id),       item.createdAt,      item.deviceId,
        ContentTypes::rawValue(item.contentType),     item.plainText,
        item.richTextPath,       item.imagePath,      item.thumbnailPath,
        item.sourceAppName,      item.sourceBundleId, item.isPinned,
        item.contentHash,        item.byteSize,
    };
}

ClipItem ClipRecord::toItem() const {
    const std::optional<QUuid> uuid = parseUuid(id);
    return ClipItem{
        uuid ? *uuid : QUuid::createUuid(),
        createdAt,
        deviceId,
        ContentTypes::fromRawValue(contentType).value_or(ContentType::plainText),
        plainText,
        AttachmentFiles::safeName(richTextPath),
        AttachmentFiles::safeName(imagePath),
        AttachmentFiles::safeName(thumbnailPath),
        sourceAppName,
        sourceBundleId,
        isPinned,
        contentHash,
        byteSize,
    };
}

ClipRecord ClipRecord::read(const sqlite::Statement& s) {
    return ClipRecord{
        s.text(0),          s.real(1),          s.text(2),         s.text(3),
        s.optionalText(4),  s.optionalText(5),  s.optionalText(6), s.optionalText(7),
        s.optionalText(8),  s.optionalText(9),  s.integer(10) != 0, s.text(11),
        s.integer(12),
    };
}

void ClipRecord::bind(sqlite::Statement& s) const {
    s.bind(1, id)
        .bind(2, createdAt)
        .bind(3, deviceId)
        .bind(4, contentType)
        .bind(5, plainText)
        .bind(6, richTextPath)
        .bind(7, imagePath)
        .bind(8, thumbnailPath)
        .bind(9, sourceAppName)
        .bind(10, sourceBundleId)
        .bind(11, isPinned)
        .bind(12, contentHash)
        .bind(13, byteSize);
}

} // namespace tessik
