#pragma once

#include "capture/ClipItem.h"
#include "sync/SyncJson.h"

#include <QByteArray>
#include <QJsonObject>

#include <optional>

namespace tessik {

// A clip together with the bytes of its attachment files: what devices send
// each other, and the snapshot a favourite keeps of its clip. A value type;
// thread-safe.
struct SyncClipPayload {
    ClipItem item;
    std::optional<QByteArray> richTextData;
    std::optional<QByteArray> imageData;
    std::optional<QByteArray> thumbnailData;

    bool operator==(const SyncClipPayload&) const = default;

    // The payload of a clip, reading its attachment files from the
    // attachments folder. A file that cannot be read, or whose name is not a
    // bare file name inside that folder (symbolic links resolved), is left
    // out; the item keeps its paths either way. Never fails.
    static SyncClipPayload encode(const ClipItem& item);
    static SyncClipPayload encode(const ClipItem& item, const QString& attachmentsFolder);

    // Writes the bytes into the attachments folder under names made from the
    // clip's id (U.rtf, U.png, U_thumb.jpg) and returns the clip naming them.
    // A path whose bytes are absent keeps the sender's name when it is a bare
    // file name, and is dropped otherwise. A failed write is skipped. Never
    // fails.
    ClipItem materializeAttachments() const;
    ClipItem materializeAttachments(const QString& attachmentsFolder) const;

    // The JSON object form. With `fields`, the bytes go beside the tree (see
    // SyncJson::ByteFields) instead of into it. Reading throws JsonError on
    // anything unreadable (including bad Base64); unsafe attachment names
    // read as absent.
    QJsonObject toJson(SyncJson::ByteFields* fields = nullptr) const;
    static SyncClipPayload fromJson(const QJsonObject& object,
                                    const SyncJson::ByteFields* fields = nullptr);
    // The keys whose values are bytes.
    static const QList<QByteArray>& byteKeys();

    // The snapshot blob form: compact UTF-8 JSON with "/" written as "\/".
    QByteArray snapshotData() const;
    static SyncClipPayload fromSnapshotData(const QByteArray& data);
};

} // namespace tessik
