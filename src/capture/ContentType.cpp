#include "ContentType.h"

namespace tessik::ContentTypes {

namespace {

struct Names {
    ContentType type;
    QString raw;
    QString display;
    QString symbol;
};

const QList<Names>& table() {
    static const QList<Names> names{
        {ContentType::plainText, QStringLiteral("plainText"), QStringLiteral("文本"),
         QStringLiteral("text.alignleft")},
        {ContentType::richText, QStringLiteral("richText"), QStringLiteral("富文本"),
         QStringLiteral("textformat")},
        {ContentType::image, QStringLiteral("image"), QStringLiteral("图片"),
         QStringLiteral("photo")},
        {ContentType::url, QStringLiteral("url"), QStringLiteral("链接"), QStringLiteral("link")},
        {ContentType::file, QStringLiteral("file"), QStringLiteral("文件"), QStringLiteral("doc")},
    };
    return names;
}

const Names& entry(ContentType type) {
    return table().at(static_cast<int>(type));
}

} // namespace

const QList<ContentType>& allCases() {
    static const QList<ContentType> cases{ContentType::plainText, ContentType::richText,
                                          ContentType::image, ContentType::url,
                                          ContentType::file};
    return cases;
}

QString rawValue(ContentType type) {
    return entry(type).raw;
}

std::optional<ContentType> fromRawValue(const QString& raw) {
    for (const Names& names : table()) {
        if (names.raw == raw) {
            return names.type;
        }
    }
    return std::nullopt;
}

QString displayName(ContentType type) {
    return entry(type).display;
}

QString systemImage(ContentType type) {
    return entry(type).symbol;
}

} // namespace tessik::ContentTypes
