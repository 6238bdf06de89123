#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tessik {

// Writes the files of a captured image into the (flat) attachments folder:
// the bytes exactly as captured under "<STEM>.gif" or "<STEM>.png" (by
// ImageFormatHelper::preferredExtension), and a JPEG of the first frame at
// quality 0.7 and the same pixel size under "<STEM>_thumb.jpg". The stem is
// a fresh upper-case UUID. Never throws; thread-safe.
namespace ImageAttachmentWriter {

struct SavedImage {
    std::optional<QString> imagePath;      // bare file name, none if the write failed
    std::optional<QString> thumbnailPath;  // none if the bytes do not decode or it failed

    bool operator==(const SavedImage&) const = default;
};

// A failed image write gives neither name (and leaves no file behind); bytes
// that no decoder reads, or a failed thumbnail write, give the image name
// only. Transparent pixels are laid on white in the thumbnail, which has no
// alpha channel.
SavedImage save(const QByteArray& data, const QString& attachmentsDir);

// Quality of the thumbnail's JPEG compression, 0 to 100.
inline constexpr int kThumbnailQuality = 70;

} // namespace ImageAttachmentWriter

} // namespace tessik
