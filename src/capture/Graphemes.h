#pragma once

#include <QStringView>

namespace tessik::Graphemes {

// Counting user-perceived characters (extended grapheme clusters) without
// reading more of a text than the answer needs. Thread-safe.

// The UTF-16 length of the first `count` user-perceived characters of
// `text`, or text.size() when it has fewer. With `newlinesAsSpaces`, every
// "\n" is read as a space first (which can split a "\r\n" cluster in two).
// Reads only a window a few times larger than `count` characters.
qsizetype prefixLength(QStringView text, qsizetype count, bool newlinesAsSpaces = false);

// The number of user-perceived characters of the whole text.
qsizetype count(QStringView text);

// True when the text has at least `limit` user-perceived characters; reads
// only as far as that takes.
bool hasAtLeast(QStringView text, qsizetype limit);

} // namespace tessik::Graphemes
