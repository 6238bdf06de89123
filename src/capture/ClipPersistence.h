#pragma once

#include "capture/CapturedClip.h"
#include "capture/ClipItem.h"

#include <QString>

namespace tessik {

class ClipStore;

// Turns a captured clip into a history entry: writes its attachment files,
// builds the ClipItem (fresh id, now, this device's id) and inserts it into
// the store. Main thread (the capture path and tessik-cli).
namespace ClipPersistence {

// Returns true when a new history entry was stored, after posting
// "tessik.clipStoreDidChange". Rich data goes to "<UUID>.rtf", image bytes
// through ImageAttachmentWriter. Attachment files are written before the
// store's duplicate check; when the store drops the clip as a duplicate or
// the insertion throws, they are removed again, so no file is left that no
// clip names. A file that cannot be written leaves its path absent and the
// clip is stored without it. Throws the store's errors.
bool persist(const CapturedClip& clip, ClipStore& store);
// The same with an explicit attachments folder and capture time.
bool persist(const CapturedClip& clip, ClipStore& store, const QString& attachmentsDir,
             TimePoint createdAt);

// persist(), giving the stored entry (none when the store dropped it as a
// duplicate).
std::optional<ClipItem> record(const CapturedClip& clip, ClipStore& store,
                               const QString& attachmentsDir, TimePoint createdAt);

} // namespace ClipPersistence

} // namespace tessik
