#include "SyncClipPayload.h"

#include "platform/AppPaths.h"
#include "platform/AttachmentFiles.h"
#include "platform/Uuid.h"
#include "sync/SyncJson.h"

namespace tessik {

namespace {

const QString kItem = QStringLiteral("item");
const QString kRichTextData = QStringLiteral("richTextData");
const QString kImageData = QStringLiteral("imageData");
const QString kThumbnailData = QStringLiteral("thumbnailData");

std::optional<QByteArray> readAttachment(const QString& folder, const std::optional<QString>& name) {
    if (!name) {
        return std::nullopt;
    }
    return AttachmentFiles::read(folder, *name);
}

// Writes the bytes under `name` when there are any and returns the name the
// clip should carry.
std::optional<QString> materialize(const QString& folder, const std::optional<QByteArray>& bytes,
                                   const QString& name, const std::optional<QString>& senderName) {
    if (!bytes) {
        return AttachmentFiles::safeName(senderName);
    }
    AttachmentFiles::write(folder, name, *bytes);  // a failed write keeps the name all the same
    return name;
}

void putBytes(QJsonObject& object, const QString& key, const std::optional<QByteArray>& bytes,
              SyncJson::ByteFields* fields) {
    if (bytes) {
        object.insert(key, fields ? fields->placeholder(*bytes)
                                  : QString::fromLatin1(bytes->toBase64()));
    }
}

} // namespace

SyncClipPayload SyncClipPayload::encode(const ClipItem& item) {
    return encode(item, AppPaths::attachmentsDirectory());
}

SyncClipPayload SyncClipPayload::encode(const ClipItem& item, const QString& folder) {
    return SyncClipPayload{item, readAttachment(folder, item.richTextPath),
                           readAttachment(folder, item.imagePath),
                           readAttachment(folder, item.thumbnailPath)};
}

ClipItem SyncClipPayload::materializeAttachments() const {
    return materializeAttachments(AppPaths::attachmentsDirectory());
}

ClipItem SyncClipPayload::materializeAttachments(const QString& folder) const {
    const QString stem = uuidText(item.id);
    ClipItem result = item;
    result.richTextPath =
        materialize(folder, richTextData, stem + QStringLiteral(".rtf"), item.richTextPath);
    result.imagePath = materialize(folder, imageData, stem + QStringLiteral(".png"), item.imagePath);
    result.thumbnailPath = materialize(folder, thumbnailData, stem + QStringLiteral("_thumb.jpg"),
                                       item.thumbnailPath);
    return result;
}

const QList<QByteArray>& SyncClipPayload::byteKeys() {
    static const QList<QByteArray> keys{kRichTextData.toLatin1(), kImageData.toLatin1(),
                                        kThumbnailData.toLatin1()};
    return keys;
}

QJsonObject SyncClipPayload::toJson(SyncJson::ByteFields* fields) const {
    QJsonObject object;
    object.insert(kItem, ClipItemJson::encode(item));
    putBytes(object, kRichTextData, richTextData, fields);
    putBytes(object, kImageData, imageData, fields);
    putBytes(object, kThumbnailData, thumbnailData, fields);
    return object;
}

SyncClipPayload SyncClipPayload::fromJson(const QJsonObject& object,
                                          const SyncJson::ByteFields* fields) {
    static const SyncJson::ByteFields none;
    const SyncJson::ByteFields& bytes = fields ? *fields : none;
    SyncClipPayload payload{ClipItemJson::decode(SyncJson::requiredObject(object, kItem)),
                            bytes.optionalBytes(object, kRichTextData),
                            bytes.optionalBytes(object, kImageData),
                            bytes.optionalBytes(object, kThumbnailData)};
    // Names from another device are only ever bare names in our folder.
    payload.item.richTextPath = AttachmentFiles::safeName(payload.item.richTextPath);
    payload.item.imagePath = AttachmentFiles::safeName(payload.item.imagePath);
    payload.item.thumbnailPath = AttachmentFiles::safeName(payload.item.thumbnailPath);
    return payload;
}

QByteArray SyncClipPayload::snapshotData() const {
    SyncJson::ByteFields fields;
    return fields.write(toJson(&fields));
}

SyncClipPayload SyncClipPayload::fromSnapshotData(const QByteArray& data) {
    SyncJson::ByteFields fields;
    const QJsonObject object = fields.read(data, byteKeys());
    return fromJson(object, &fields);
}

} // namespace tessik
