#pragma once

#include "capture/ClipItem.h"
#include "capture/PasteboardMonitor.h"

#include <QObject>
#include <QString>

#include <memory>

namespace tessik {

class ClipStore;

// Pasteboard capture: owns a monitor and hands every clip it captures to
// ClipPersistence with the shared store. A store error drops that clip and
// is logged as "ClipCaptureService insert error: " and its description;
// capture goes on with the next change. Main thread only.
class ClipCaptureService : public QObject {
    Q_OBJECT
public:
    // The monitor starts stopped. `attachmentsDir` defaults to the
    // application's attachments folder.
    explicit ClipCaptureService(std::shared_ptr<ClipStore> store,
                                Pasteboard& pasteboard = Pasteboard::general(),
                                double interval = PasteboardMonitor::kDefaultInterval,
                                QString attachmentsDir = QString(), QObject* parent = nullptr);

    void start() { m_monitor.start(); }
    void stop() { m_monitor.stop(); }
    // Reads the pasteboard now (a forced poll).
    void refreshFromPasteboard() { m_monitor.refresh(); }

    PasteboardMonitor& monitor() { return m_monitor; }
    const std::shared_ptr<ClipStore>& store() const { return m_store; }

Q_SIGNALS:
    // A captured clip became a new history entry (after
    // "tessik.clipStoreDidChange" was posted). Repeats the store dropped as
    // duplicates are not reported.
    void clipRecorded(const tessik::ClipItem& item);

private:
    void persist(const CapturedClip& clip);

    std::shared_ptr<ClipStore> m_store;
    QString m_attachmentsDir;
    PasteboardMonitor m_monitor;
};

} // namespace tessik
