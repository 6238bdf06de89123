#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace tessik {

// The kind of a clip. Raw values equal the case names and are what the
// database, the JSON forms and other installations store.
enum class ContentType { plainText, richText, image, url, file };

namespace ContentTypes {

// Every case, in the order screens enumerate them.
const QList<ContentType>& allCases();

QString rawValue(ContentType type);
// Exact, case-sensitive lookup; an unknown text gives no value.
std::optional<ContentType> fromRawValue(const QString& raw);

// "文本", "富文本", "图片", "链接", "文件".
QString displayName(ContentType type);
// Symbol name shown beside the kind ("text.alignleft", "textformat", ...).
QString systemImage(ContentType type);

} // namespace ContentTypes

} // namespace tessik
