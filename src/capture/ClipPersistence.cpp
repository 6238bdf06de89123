#include "ClipPersistence.h"

#include "platform/AttachmentFiles.h"
#include "capture/ImageAttachmentWriter.h"
#include "platform/AppPaths.h"
#include "platform/Logging.h"
#include "platform/NotificationCenter.h"
#include "platform/Uuid.h"
#include "store/ClipStore.h"

#include <QStringList>

namespace tessik::ClipPersistence {

bool persist(const CapturedClip& clip, ClipStore& store) {
    return persist(clip, store, AppPaths::attachmentsDirectory(), now());
}

bool persist(const CapturedClip& clip, ClipStore& store, const QString& attachmentsDir,
             TimePoint createdAt) {
    return record(clip, store, attachmentsDir, createdAt).has_value();
}

std::optional<ClipItem> record(const CapturedClip& clip, ClipStore& store,
                               const QString& attachmentsDir, TimePoint createdAt) {
    std::optional<QString> richTextPath;
    if (clip.richTextData) {
        const QString name = uuidText(QUuid::createUuid()) + QStringLiteral(".rtf");
        // A clip must not name a file that does not exist: without the file
        // the rich text is gone, and the path is left out.
        if (AttachmentFiles::write(attachmentsDir, name, *clip.richTextData)) {
            richTextPath = name;
        } else {
            qCWarning(lcTessik, "ClipPersistence rich text write failed in %s",
                      qUtf8Printable(attachmentsDir));
        }
    }
    ImageAttachmentWriter::SavedImage image;
    if (clip.imageData) {
        image = ImageAttachmentWriter::save(*clip.imageData, attachmentsDir);
    }

    const ClipItem item{QUuid::createUuid(), createdAt,          AppPaths::deviceId(),
                        clip.contentType,    clip.plainText,     richTextPath,
                        image.imagePath,     image.thumbnailPath, clip.sourceAppName,
                        clip.sourceBundleId, false,              clip.contentHash,
                        clip.byteSize};

    QStringList written;
    for (const std::optional<QString>& name : {richTextPath, image.imagePath, image.thumbnailPath}) {
        if (name) {
            written.append(*name);
        }
    }
    bool inserted = false;
    try {
        inserted = store.insert(item);
    } catch (...) {
        AttachmentFiles::remove(attachmentsDir, written);
        throw;
    }
    if (!inserted) {
        AttachmentFiles::remove(attachmentsDir, written);
        return std::nullopt;
    }
    NotificationCenter::defaultCenter().post(NotificationCenter::clipStoreDidChange);
    return item;
}

} // namespace tessik::ClipPersistence
