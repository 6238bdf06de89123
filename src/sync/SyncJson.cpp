#include "SyncJson.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace tessik::SyncJson {

QByteArray write(const QJsonObject& object) {
    QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    // A "/" can only stand inside a string in compact JSON, and never inside
    // a multi-byte UTF-8 sequence, so escaping every byte of it is exact.
    return text.replace('/', "\\/");
}

QJsonObject read(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        throw JsonError(QStringLiteral("malformed JSON at offset %1: %2")
                            .arg(error.offset)
                            .arg(error.errorString()));
    }
    if (!document.isObject()) {
        throw JsonError(QStringLiteral("the JSON document is not an object"));
    }
    return document.object();
}

QString base64(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toBase64());
}

std::optional<QByteArray> optionalBytes(const QJsonObject& object, const QString& key) {
    const std::optional<QString> text = JsonRead::optionalString(object, key);
    if (!text) {
        return std::nullopt;
    }
    const QByteArray latin = text->toLatin1();
    const auto decoded =
        QByteArray::fromBase64Encoding(latin, QByteArray::AbortOnBase64DecodingErrors);
    if (decoded.decodingStatus != QByteArray::Base64DecodingStatus::Ok || latin.size() % 4 != 0 ||
        text->size() != latin.size()) {
        throw JsonError(QStringLiteral("value for key \"%1\" is not Base64").arg(key));
    }
    return decoded.decoded;
}

QJsonObject requiredObject(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        throw JsonError(QStringLiteral("missing value for key \"%1\"").arg(key));
    }
    if (!value.isObject()) {
        throw JsonError(QStringLiteral("value for key \"%1\" is not an object").arg(key));
    }
    return value.toObject();
}

} // namespace tessik::SyncJson
