#include "ImageFormatHelper.h"

namespace tessik::ImageFormatHelper {

const QStringList& imageFileExtensions() {
    static const QStringList extensions{
        QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"),
        QStringLiteral("gif"),  QStringLiteral("webp"), QStringLiteral("heic"),
        QStringLiteral("heif"), QStringLiteral("bmp"),  QStringLiteral("tiff"),
        QStringLiteral("tif"),  QStringLiteral("svg"),  QStringLiteral("ico")};
    return extensions;
}

QString preferredExtension(const QByteArray& imageData) {
    if (imageData.size() >= 4 && imageData.startsWith("GIF")) {
        return QStringLiteral("gif");
    }
    return QStringLiteral("png");
}

QString lowerCaseExtension(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        return QString();
    }
    return name.mid(dot + 1).toLower();
}

bool isGIF(const QString& path) {
    return lowerCaseExtension(path) == QLatin1String("gif");
}

} // namespace tessik::ImageFormatHelper
