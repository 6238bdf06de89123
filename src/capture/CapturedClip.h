#pragma once

#include "capture/ContentType.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace tessik {

// The result of reading the pasteboard once, before a history entry exists.
// The factory functions fix, for each kind of content, the kind, the hash
// and the size; they are the only way capture builds one.
struct CapturedClip {
    ContentType contentType = ContentType::plainText;
    std::optional<QString> plainText;
    std::optional<QByteArray> richTextData;  // RTF, or HTML when no RTF was offered
    std::optional<QByteArray> imageData;
    QList<QUrl> fileURLs;
    std::optional<QString> sourceAppName;   // never filled by capture here
    std::optional<QString> sourceBundleId;  // never filled by capture here
    QString contentHash;
    qint64 byteSize = 0;

    bool operator==(const CapturedClip&) const = default;

    // One or more file locations: a file clip whose text is their paths
    // joined with "\n".
    static CapturedClip fromFileURLs(const QList<QUrl>& urls);
    // GIF, PNG or JPEG bytes as offered, or the PNG encoding of an image.
    static CapturedClip fromImageData(const QByteArray& bytes);
    // A text, with or without rich data. The kind is url when the text is a
    // web address (isWebAddressText), else richText with rich data and
    // plainText without.
    static CapturedClip fromText(const QString& text,
                                 const std::optional<QByteArray>& richData = std::nullopt);
    // Rich data offered without any text. Kept as a rich-text clip: its
    // content is the rich data, and it shows the empty-content preview.
    static CapturedClip fromRichDataOnly(const QByteArray& richData);
    // A web address object offered without text or rich data.
    static CapturedClip fromWebAddress(const QUrl& url);

    // True when the whole text parses as a URL whose scheme begins with
    // "http" and the text has fewer than 2048 characters.
    static bool isWebAddressText(const QString& text);
};

inline constexpr qsizetype kMaxWebAddressLength = 2047;

} // namespace tessik
