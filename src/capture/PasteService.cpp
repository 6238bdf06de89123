#include "PasteService.h"

#include "platform/AttachmentFiles.h"
#include "capture/ImageFormatHelper.h"
#include "capture/PasteboardMonitor.h"
#include "platform/AppPaths.h"

#include <QImage>

namespace tessik::PasteService {

namespace {

// The image of an image attachment on the pasteboard; false when the file
// is missing or does not decode.
bool copyImage(const QString& imagePath, Pasteboard& pasteboard, const QString& attachmentsDir) {
    const std::optional<QByteArray> bytes = AttachmentFiles::read(attachmentsDir, imagePath);
    if (!bytes) {
        return false;
    }
    if (ImageFormatHelper::isGIF(imagePath)) {
        pasteboard.setData(*bytes, PasteboardType::compuserveGif);
        return true;
    }
    const QImage image = QImage::fromData(*bytes);
    if (image.isNull()) {
        return false;
    }
    pasteboard.setImage(image);
    return true;
}

} // namespace

QString richTextType(const QByteArray& richData) {
    return richData.trimmed().startsWith("{\\rtf") ? PasteboardType::rtf : PasteboardType::html;
}

void copyToPasteboard(const ClipItem& item, Pasteboard& pasteboard, const QString& attachmentsDir) {
    PasteboardMonitor::suppress();
    pasteboard.clear();

    if (item.contentType == ContentType::file) {
        QList<QUrl> urls;
        for (const QString& path : item.filePaths()) {
            urls.append(QUrl::fromLocalFile(path));
        }
        if (!urls.isEmpty()) {
            pasteboard.setURLs(urls);
            return;
        }
    }

    if (item.imagePath && copyImage(*item.imagePath, pasteboard, attachmentsDir)) {
        return;
    }

    PasteboardItem representations;
    if (item.richTextPath) {
        if (const std::optional<QByteArray> rich =
                AttachmentFiles::read(attachmentsDir, *item.richTextPath)) {
            representations.insert(richTextType(*rich), *rich);
        }
    }
    if (item.plainText) {
        representations.insert(PasteboardType::utf8PlainText, item.plainText->toUtf8());
    }
    if (!representations.isEmpty()) {
        pasteboard.setItems({representations});
    }
}

void copyToPasteboard(const ClipItem& item) {
    copyToPasteboard(item, Pasteboard::general(), AppPaths::attachmentsDirectory());
}

void copyPlainToPasteboard(const ClipItem& item, Pasteboard& pasteboard) {
    PasteboardMonitor::suppress();
    pasteboard.clear();
    if (item.plainText && !item.plainText->isEmpty()) {
        pasteboard.setString(*item.plainText);
    }
}

void copyPlainToPasteboard(const ClipItem& item) {
    copyPlainToPasteboard(item, Pasteboard::general());
}

void copy(const ClipItem& item, bool plainTextOnly, Pasteboard& pasteboard,
          const QString& attachmentsDir) {
    if (plainTextOnly) {
        copyPlainToPasteboard(item, pasteboard);
    } else {
        copyToPasteboard(item, pasteboard, attachmentsDir);
    }
}

void copy(const ClipItem& item, bool plainTextOnly) {
    copy(item, plainTextOnly, Pasteboard::general(), AppPaths::attachmentsDirectory());
}

} // namespace tessik::PasteService
