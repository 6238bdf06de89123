#pragma once

#include "capture/ClipItem.h"
#include "platform/Pasteboard.h"

#include <QString>

namespace tessik {

// Puts stored clips back on the pasteboard. Each copy first opens the
// monitor's suppression window (0.8 s), so the application does not record
// its own write, then clears the pasteboard and writes. Unreadable
// attachment files are skipped; nothing here fails visibly. Main thread.
namespace PasteService {

// In full: a file clip as its file URLs (whether or not the files still
// exist); an image clip as its GIF bytes under the GIF type, or else as the
// decoded image; otherwise one item with the rich-text attachment (offered
// as RTF, or as HTML when the bytes are HTML) and the text.
void copyToPasteboard(const ClipItem& item, Pasteboard& pasteboard, const QString& attachmentsDir);
void copyToPasteboard(const ClipItem& item);

// Only the text, when the clip has a non-empty one; otherwise the
// pasteboard is left empty.
void copyPlainToPasteboard(const ClipItem& item, Pasteboard& pasteboard);
void copyPlainToPasteboard(const ClipItem& item);

// copyPlainToPasteboard when `plainTextOnly`, copyToPasteboard otherwise.
void copy(const ClipItem& item, bool plainTextOnly, Pasteboard& pasteboard,
          const QString& attachmentsDir);
void copy(const ClipItem& item, bool plainTextOnly);

// The type identifier under which rich-text attachment bytes go back:
// "public.rtf" for RTF ("{\rtf" after any white space), "public.html" for
// what was captured as HTML when no RTF was offered.
QString richTextType(const QByteArray& richData);

} // namespace PasteService

} // namespace tessik
