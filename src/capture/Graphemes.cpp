#include "Graphemes.h"

#include <QString>
#include <QTextBoundaryFinder>

namespace tessik::Graphemes {

namespace {

// Position after the `count`-th cluster within `window`, counting only
// boundaries strictly inside the window unless the window is the whole text
// (a boundary at a cut is not a real one). Returns -1 when the window does not
// hold `count` certain clusters.
qsizetype boundaryAfter(const QString& window, qsizetype count, bool windowIsWholeText) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, window);
    qsizetype found = 0;
    for (qsizetype pos = finder.toNextBoundary(); pos != -1; pos = finder.toNextBoundary()) {
        if (pos == window.size() && !windowIsWholeText) {
            return -1;
        }
        if (++found == count) {
            return pos;
        }
    }
    return windowIsWholeText ? window.size() : -1;
}

} // namespace

qsizetype prefixLength(QStringView text, qsizetype count, bool newlinesAsSpaces) {
    if (count <= 0 || text.isEmpty()) {
        return 0;
    }
    // Most clusters are one or two UTF-16 units; grow the window only for
    // texts full of combining marks or long emoji sequences.
    qsizetype windowSize = count * 2 + 8;
    for (;;) {
        const bool whole = windowSize >= text.size();
        QString window = text.left(whole ? text.size() : windowSize).toString();
        if (newlinesAsSpaces) {
            window.replace(QLatin1Char('\n'), QLatin1Char(' '));
        }
        const qsizetype pos = boundaryAfter(window, count, whole);
        if (pos >= 0) {
            return pos;
        }
        windowSize *= 2;
    }
}

qsizetype count(QStringView text) {
    if (text.isEmpty()) {
        return 0;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    qsizetype clusters = 0;
    while (finder.toNextBoundary() != -1) {
        ++clusters;
    }
    return clusters;
}

bool hasAtLeast(QStringView text, qsizetype limit) {
    if (limit <= 0) {
        return true;
    }
    // The prefix of limit - 1 clusters leaves something over exactly when a
    // limit-th cluster exists.
    return prefixLength(text, limit - 1) < text.size();
}

} // namespace tessik::Graphemes
