#include "ClipItem.h"

#include "capture/Graphemes.h"
#include "capture/ImageFormatHelper.h"

#include <QLocale>

namespace tessik {

namespace {

QString placeholderFor(ContentType type) {
    switch (type) {
    case ContentType::image:
        return QStringLiteral("图片");
    case ContentType::url:
        return QStringLiteral("链接");
    case ContentType::file:
        return QStringLiteral("文件");
    case ContentType::plainText:
    case ContentType::richText:
        break;
    }
    return QStringLiteral("空内容");
}

bool hasText(const std::optional<QString>& text) {
    return text && !text->isEmpty();
}

} // namespace

QString ClipItem::previewText() const {
    if (!hasText(plainText)) {
        return placeholderFor(contentType);
    }
    QString text = *plainText;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.trimmed();
}

QString ClipItem::shortPreview() const {
    if (!hasText(plainText)) {
        return placeholderFor(contentType);
    }
    // Equivalent to cutting previewText(), without copying or scanning a
    // long text: skip the leading white space, take 120 characters, and
    // decide on the ellipsis by whether anything but white space follows.
    QStringView text(*plainText);
    qsizetype start = 0;
    while (start < text.size() && text.at(start).isSpace()) {
        ++start;
    }
    const QStringView rest = text.mid(start);
    const qsizetype cut = Graphemes::prefixLength(rest, kShortPreviewLength, true);
    QString head = rest.left(cut).toString();
    head.replace(QLatin1Char('\n'), QLatin1Char(' '));

    qsizetype next = cut;
    while (next < rest.size() && rest.at(next).isSpace()) {
        ++next;
    }
    if (next == rest.size()) {
        // The whole preview fits: it is the head without its trailing space.
        qsizetype end = head.size();
        while (end > 0 && head.at(end - 1).isSpace()) {
            --end;
        }
        head.truncate(end);
        return head;
    }
    return head + QStringLiteral("…");
}

std::optional<qsizetype> ClipItem::characterCount() const {
    if (!hasText(plainText)) {
        return std::nullopt;
    }
    return Graphemes::count(*plainText);
}

QString ClipItem::formattedByteSize() const {
    if (byteSize < 1) {
        return QString();
    }
    return QLocale().formattedDataSize(byteSize, 1, QLocale::DataSizeSIFormat);
}

QStringList ClipItem::filePaths() const {
    if (contentType != ContentType::file || !plainText) {
        return {};
    }
    return plainText->split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

std::optional<QString> ClipItem::primaryFileName() const {
    const QStringList paths = filePaths();
    if (paths.isEmpty()) {
        return std::nullopt;
    }
    QString path = paths.first();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    if (path == QLatin1String("/")) {
        return path;
    }
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

std::optional<QString> ClipItem::primaryFileExtension() const {
    const std::optional<QString> name = primaryFileName();
    if (!name) {
        return std::nullopt;
    }
    // A leading dot marks a hidden file, not an extension (".bashrc").
    const qsizetype dot = name->lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name->size() - 1) {
        return std::nullopt;
    }
    return name->mid(dot + 1).toUpper();
}

std::optional<ImageDisplaySource> ClipItem::imageDisplaySource() const {
    if (contentType == ContentType::image) {
        if (imagePath) {
            return ImageDisplaySource::attachment(*imagePath);
        }
        if (thumbnailPath) {
            return ImageDisplaySource::attachment(*thumbnailPath);
        }
        return std::nullopt;
    }
    if (contentType == ContentType::file) {
        const QStringList paths = filePaths();
        if (!paths.isEmpty() && ImageFormatHelper::imageFileExtensions().contains(
                                    ImageFormatHelper::lowerCaseExtension(paths.first()))) {
            return ImageDisplaySource::file(paths.first());
        }
    }
    return std::nullopt;
}

} // namespace tessik
