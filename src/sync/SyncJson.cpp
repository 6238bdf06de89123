#include "SyncJson.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QUuid>

#include <algorithm>
#include <cstring>

namespace tessik::SyncJson {

namespace {

// Strict padded standard Base64, or none.
std::optional<QByteArray> decodeBase64(const QByteArray& text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (decoded.decodingStatus != QByteArray::Base64DecodingStatus::Ok) {
        return std::nullopt;
    }
    return std::move(decoded.decoded);
}

qsizetype skipSpace(const QByteArray& text, qsizetype i) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) {
        ++i;
    }
    return i;
}

// The index just past the string starting at `open` (a quote), or -1.
qsizetype stringEnd(const QByteArray& text, qsizetype open) {
    const char* const begin = text.constData();
    const char* const end = begin + text.size();
    const char* p = begin + open + 1;
    while (p < end) {
        // Jump to the next quote; it ends the string unless an odd run of
        // backslashes stands right before it.
        const char* quote = static_cast<const char*>(std::memchr(p, '"', end - p));
        if (!quote) {
            return -1;
        }
        qsizetype backslashes = 0;
        for (const char* b = quote - 1; b >= p && *b == '\\'; --b) {
            ++backslashes;
        }
        if (backslashes % 2 == 0) {
            return quote + 1 - begin;
        }
        p = quote + 1;
    }
    return -1;
}

// The raw content of a string value with "\/" unescaped; none when it holds
// any other escape (never part of Base64).
std::optional<QByteArray> unescapedSlashes(QByteArrayView raw) {
    QByteArray result;
    result.reserve(raw.size());
    qsizetype from = 0;
    for (qsizetype at = raw.indexOf('\\'); at >= 0; at = raw.indexOf('\\', from)) {
        if (at + 1 >= raw.size() || raw[at + 1] != '/') {
            return std::nullopt;
        }
        result.append(raw.sliced(from, at - from));
        from = at + 1;  // keep the slash, drop the backslash
    }
    result.append(raw.sliced(from));
    return result;
}

// Appends `text` with every "/" written as "\/". Copies the runs between
// slashes whole: megabytes of Base64 hold a slash every 64 bytes or so.
void appendEscapingSlashes(QByteArray& out, QByteArrayView text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* slash = static_cast<const char*>(std::memchr(p, '/', end - p));
        if (!slash) {
            out.append(p, end - p);
            return;
        }
        out.append(p, slash - p);
        out.append("\\/", 2);
        p = slash + 1;
    }
}

qsizetype escapedSize(QByteArrayView text) {
    return text.size() + std::count(text.begin(), text.end(), '/');
}

} // namespace

QByteArray write(const QJsonObject& object) {
    // A "/" can only stand inside a string in compact JSON, and never inside
    // a multi-byte UTF-8 sequence, so escaping every byte of it is exact.
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    QByteArray escaped;
    escaped.reserve(escapedSize(text));
    appendEscapingSlashes(escaped, text);
    return escaped;
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

ByteFields::ByteFields()
    : m_nonce(QUuid::createUuid().toString(QUuid::Id128) + QLatin1Char('#')) {}

QString ByteFields::placeholder(const QByteArray& bytes) {
    m_values.append(bytes.toBase64());  // escaped as it is spliced in
    return m_nonce + QString::number(m_values.size() - 1);
}

QByteArray ByteFields::write(const QJsonObject& root) const {
    const QByteArray tree = SyncJson::write(root);
    if (m_values.isEmpty()) {
        return tree;
    }
    qsizetype total = tree.size();
    for (const QByteArray& value : m_values) {
        total += escapedSize(value);
    }
    QByteArray text;
    text.reserve(total);
    const QByteArray nonce = m_nonce.toLatin1();
    qsizetype from = 0;
    for (qsizetype at = tree.indexOf(nonce); at >= 0; at = tree.indexOf(nonce, from)) {
        qsizetype end = at + nonce.size();
        while (end < tree.size() && tree[end] >= '0' && tree[end] <= '9') {
            ++end;
        }
        const qsizetype index = tree.mid(at + nonce.size(), end - at - nonce.size()).toLongLong();
        text.append(tree.constData() + from, at - from);
        appendEscapingSlashes(text, m_values.at(index));
        from = end;
    }
    text.append(tree.constData() + from, tree.size() - from);
    return text;
}

QJsonObject ByteFields::read(const QByteArray& json, const QList<QByteArray>& byteKeys) {
    // Walk the strings of the text; a key naming bytes followed by a string
    // value of valid Base64 has that value cut out. Anything unexpected stops
    // the walk and leaves the rest to the JSON parser, which reports it.
    QByteArray small;
    qsizetype copied = 0;
    qsizetype i = 0;
    while ((i = json.indexOf('"', i)) >= 0) {
        const qsizetype keyEnd = stringEnd(json, i);
        if (keyEnd < 0) {
            break;
        }
        const QByteArrayView key(json.constData() + i + 1, keyEnd - i - 2);
        qsizetype next = skipSpace(json, keyEnd);
        if (next >= json.size() || json[next] != ':' || !byteKeys.contains(key)) {
            i = keyEnd;
            continue;
        }
        const qsizetype open = skipSpace(json, next + 1);
        if (open >= json.size() || json[open] != '"') {
            i = open;
            continue;
        }
        const qsizetype close = stringEnd(json, open);
        if (close < 0) {
            break;
        }
        const std::optional<QByteArray> text =
            unescapedSlashes(QByteArrayView(json.constData() + open + 1, close - open - 2));
        const std::optional<QByteArray> bytes = text ? decodeBase64(*text) : std::nullopt;
        if (bytes) {
            small.append(json.constData() + copied, open + 1 - copied);
            small.append(m_nonce.toLatin1() + QByteArray::number(m_values.size()));
            small.append('"');
            m_values.append(*bytes);
            copied = close;
        }
        i = close;
    }
    if (copied == 0) {
        return SyncJson::read(json);
    }
    small.append(json.constData() + copied, json.size() - copied);
    return SyncJson::read(small);
}

std::optional<QByteArray> ByteFields::optionalBytes(const QJsonObject& object,
                                                    const QString& key) const {
    const std::optional<QString> text = JsonRead::optionalString(object, key);
    if (!text) {
        return std::nullopt;
    }
    if (text->startsWith(m_nonce)) {
        bool ok = false;
        const qsizetype index = text->mid(m_nonce.size()).toLongLong(&ok);
        if (ok && index >= 0 && index < m_values.size()) {
            return m_values.at(index);
        }
    }
    const QByteArray latin = text->toLatin1();
    std::optional<QByteArray> bytes =
        text->size() == latin.size() ? decodeBase64(latin) : std::nullopt;
    if (!bytes) {
        throw JsonError(QStringLiteral("value for key \"%1\" is not Base64").arg(key));
    }
    return bytes;
}

} // namespace tessik::SyncJson
