#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tessik::ImageFormatHelper {

// File-name rules for image attachments. Pure functions; thread-safe.

// Extensions of files shown as images, lower case: "png", "jpg", "jpeg",
// "gif", "webp", "heic", "heif", "bmp", "tiff", "tif", "svg", "ico".
const QStringList& imageFileExtensions();

// "gif" for bytes of at least 4 that begin with "GIF", otherwise "png"
// (JPEG bytes too: readers go by the content, not the name).
QString preferredExtension(const QByteArray& imageData);

// True when the extension of the path or file name, in lower case, is "gif".
bool isGIF(const QString& path);

// The extension of the last component of `path` in lower case, without
// the dot; empty when it has none.
QString lowerCaseExtension(const QString& path);

} // namespace tessik::ImageFormatHelper
