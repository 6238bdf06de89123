#include "CapturedClip.h"

#include "capture/ContentHasher.h"
#include "capture/Graphemes.h"

#include <QStringDecoder>
#include <QStringList>

namespace tessik {

namespace {

qint64 utf8Length(const QString& text) {
    return text.toUtf8().size();
}

// The hash of a text offered together with rich data: the text followed by
// the hash of the rich bytes, hashed again.
QString combinedHash(const QString& text, const QByteArray& richData) {
    return ContentHasher::hash(text + ContentHasher::hash(richData));
}

} // namespace

CapturedClip CapturedClip::fromFileURLs(const QList<QUrl>& urls) {
    QStringList paths;
    paths.reserve(urls.size());
    for (const QUrl& url : urls) {
        paths.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
    }
    const QString joined = paths.join(QLatin1Char('\n'));
    CapturedClip clip;
    clip.contentType = ContentType::file;
    clip.plainText = joined;
    clip.fileURLs = urls;
    clip.contentHash = ContentHasher::hash(joined);
    clip.byteSize = utf8Length(joined);
    return clip;
}

CapturedClip CapturedClip::fromImageData(const QByteArray& bytes) {
    CapturedClip clip;
    clip.contentType = ContentType::image;
    clip.imageData = bytes;
    clip.contentHash = ContentHasher::hash(bytes);
    clip.byteSize = bytes.size();
    return clip;
}

CapturedClip CapturedClip::fromText(const QString& text, const std::optional<QByteArray>& richData) {
    CapturedClip clip;
    clip.plainText = text;
    if (richData) {
        clip.contentType = ContentType::richText;
        clip.richTextData = richData;
        clip.contentHash = combinedHash(text, *richData);
        clip.byteSize = richData->size() + utf8Length(text);
    } else {
        clip.contentType = ContentType::plainText;
        clip.contentHash = ContentHasher::hash(text);
        clip.byteSize = utf8Length(text);
    }
    if (isWebAddressText(text)) {
        clip.contentType = ContentType::url;
    }
    return clip;
}

CapturedClip CapturedClip::fromRichDataOnly(const QByteArray& richData) {
    // Bytes that are not valid UTF-8 stand in as the empty text.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString asText = decoder.decode(richData);
    if (decoder.hasError()) {
        asText.clear();
    }
    CapturedClip clip;
    clip.contentType = ContentType::richText;
    clip.richTextData = richData;
    clip.contentHash = combinedHash(asText, richData);
    clip.byteSize = richData.size();
    return clip;
}

CapturedClip CapturedClip::fromWebAddress(const QUrl& url) {
    const QString address = url.toString(QUrl::FullyEncoded);
    CapturedClip clip;
    clip.contentType = ContentType::url;
    clip.plainText = address;
    clip.contentHash = ContentHasher::hash(address);
    clip.byteSize = utf8Length(address);
    return clip;
}

bool CapturedClip::isWebAddressText(const QString& text) {
    // Check the cheap bounds first: a long text is never parsed as a URL.
    if (text.isEmpty() || Graphemes::hasAtLeast(text, kMaxWebAddressLength + 1)) {
        return false;
    }
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && url.scheme().startsWith(QLatin1String("http"));
}

} // namespace tessik
