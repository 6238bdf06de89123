#include "ImageAttachmentWriter.h"

#include "platform/AttachmentFiles.h"
#include "capture/ImageFormatHelper.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QUuid>

namespace tessik::ImageAttachmentWriter {

namespace {

// The first frame of the image, or a null image when no decoder reads it.
QImage firstFrame(const QByteArray& data) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    return reader.read();
}

bool writeThumbnail(const QImage& frame, const QString& path) {
    QImage opaque(frame.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    {
        QPainter painter(&opaque);
        painter.drawImage(0, 0, frame);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QImageWriter writer(&file, "jpeg");
    writer.setQuality(kThumbnailQuality);
    return writer.write(opaque) && file.commit();
}

} // namespace

SavedImage save(const QByteArray& data, const QString& attachmentsDir) {
    const QString stem = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString imageName =
        stem + QLatin1Char('.') + ImageFormatHelper::preferredExtension(data);
    if (!AttachmentFiles::write(attachmentsDir, imageName, data)) {
        return {};
    }
    const QImage frame = firstFrame(data);
    if (frame.isNull()) {
        return {imageName, std::nullopt};
    }
    const QString thumbnailName = stem + QStringLiteral("_thumb.jpg");
    if (!writeThumbnail(frame, attachmentsDir + QLatin1Char('/') + thumbnailName)) {
        return {imageName, std::nullopt};
    }
    return {imageName, thumbnailName};
}

} // namespace tessik::ImageAttachmentWriter
