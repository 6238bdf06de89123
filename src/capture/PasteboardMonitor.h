#pragma once

#include "capture/CapturedClip.h"
#include "platform/Clock.h"
#include "platform/Pasteboard.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace tessik {

// Notices new pasteboard content and turns it into captured clips.
//
// While running, a timer polls the pasteboard's change count every
// `interval` seconds; only a moved count makes it read the content. A
// process-wide suppression window, opened by whoever writes to the
// pasteboard on the application's behalf, makes every change during it count
// as handled, so the application never records its own writes.
//
// Main thread only: the timer, polls, refresh() and onCapture all run there.
class PasteboardMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr double kDefaultInterval = 0.35;
    static constexpr double kDefaultSuppression = 0.8;

    // Stopped, without a callback; the current change count counts as
    // handled.
    explicit PasteboardMonitor(Pasteboard& pasteboard = Pasteboard::general(),
                               double interval = kDefaultInterval, QObject* parent = nullptr);

    // Receives every captured clip.
    std::function<void(const CapturedClip&)> onCapture;

    // (Re)starts polling. What the pasteboard holds now counts as handled:
    // content present before start() is captured only by refresh().
    void start();
    // Stops polling; stopping a stopped monitor does nothing.
    void stop();
    bool isRunning() const { return m_timer.isActive(); }

    // A forced poll, now: captures the current content even when the count
    // has not moved (the store's duplicate window filters repeats).
    void refresh() { poll(true); }
    // A normal poll, as the timer runs it: reads the content only when the
    // change count moved.
    void poll() { poll(false); }

    // Reads the pasteboard once: files, then GIF, then PNG or JPEG, then an
    // image object, then text with any rich data (RTF, else HTML), then a
    // web address object. Content marked secret by a password manager gives
    // nothing, whatever it holds.
    std::optional<CapturedClip> captureCurrent() const;

    qint64 lastChangeCount() const { return m_lastChangeCount; }
    double interval() const { return m_interval; }

    // Opens the process-wide suppression window: changes until `seconds`
    // from now are taken as handled and never captured. A later call
    // replaces an earlier window.
    static void suppress(double seconds = kDefaultSuppression);
    // The time source of the suppression window (the wall clock unless a
    // test sets another). Pass nothing to restore the wall clock.
    static void setClock(Clock clock = {});

private:
    void poll(bool forced);
    bool isConcealed() const;

    Pasteboard& m_pasteboard;
    double m_interval;
    qint64 m_lastChangeCount;
    QTimer m_timer;
};

} // namespace tessik
