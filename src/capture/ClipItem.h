#pragma once

#include "capture/ContentType.h"
#include "capture/ImageDisplaySource.h"
#include "platform/Clock.h"

#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tessik {

// One history entry as the whole application sees it. A plain value:
// compared by all thirteen fields, identified in lists by `id`.
struct ClipItem {
    QUuid id;
    TimePoint createdAt = 0;  // capture time on the capturing device
    QString deviceId;         // the capturing device
    ContentType contentType = ContentType::plainText;
    std::optional<QString> plainText;  // for a file clip: the paths joined with "\n"
    // Bare file names inside the attachments folder.
    std::optional<QString> richTextPath;
    std::optional<QString> imagePath;
    std::optional<QString> thumbnailPath;
    // Never filled by capture here; carried when another device supplies them.
    std::optional<QString> sourceAppName;
    std::optional<QString> sourceBundleId;
    bool isPinned = false;
    QString contentHash;  // 64 lower-case hex characters
    qint64 byteSize = 0;

    bool operator==(const ClipItem&) const = default;

    // The text with every "\n" as a space, trimmed at both ends; for a clip
    // without text, a word for its kind ("图片", "链接", "文件", "空内容").
    QString previewText() const;
    // previewText cut to 120 user-perceived characters plus "…". Reads only
    // the start of a long text.
    QString shortPreview() const;
    // User-perceived characters of a non-empty text; none otherwise.
    std::optional<qsizetype> characterCount() const;
    // "" below one byte, otherwise a file-size text such as "1.5 MB".
    QString formattedByteSize() const;

    // For a file clip, the non-empty lines of the text; otherwise empty.
    QStringList filePaths() const;
    qsizetype fileCount() const { return filePaths().size(); }
    // The last component of the first path.
    std::optional<QString> primaryFileName() const;
    // That name's extension in upper case; none when it has none.
    std::optional<QString> primaryFileExtension() const;

    // The image a screen shows: for an image clip its image attachment, else
    // its thumbnail; for a file clip whose first path has an image file
    // extension (any letter case), that file; otherwise none.
    std::optional<ImageDisplaySource> imageDisplaySource() const;
    bool isImagePreview() const { return imageDisplaySource().has_value(); }
};

inline constexpr qsizetype kShortPreviewLength = 120;

} // namespace tessik
