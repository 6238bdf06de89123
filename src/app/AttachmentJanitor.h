#pragma once

#include "platform/Clock.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <functional>
#include <memory>

namespace tessik {

class ClipStore;

// Removes attachment files that no history row names any more: the images,
// thumbnails and rich texts of deleted, pruned and cleared clips.
//
// A file is written before the row that names it is stored (by capture on the
// main thread, by the sync engine on its own thread), so a file is removed
// only when it is older than kMinimumAge and unnamed both by the rows and by
// the extra names the owner supplies (clips shown from elsewhere, such as
// favourites rebuilt from their snapshots). When the rows cannot be read,
// nothing is removed.
//
// request() runs a sweep on a worker thread and reports it with swept() on
// the owner's thread; requests made while one runs are folded into one more
// sweep after it. The destructor waits for a running sweep.
class AttachmentJanitor : public QObject {
    Q_OBJECT
public:
    static constexpr double kMinimumAge = 60.0;

    // Names to keep besides those of the history rows; asked on the owner's
    // thread when a sweep starts.
    using ExtraNames = std::function<QSet<QString>()>;

    AttachmentJanitor(std::shared_ptr<ClipStore> store, QString folder, Clock clock = &tessik::now,
                      QObject* parent = nullptr);
    ~AttachmentJanitor() override;

    void setExtraNames(ExtraNames extraNames) { m_extraNames = std::move(extraNames); }

    void request();
    bool isSweeping() const { return m_running; }

    // One sweep, synchronously, on the calling thread: lists the folder, then
    // reads the named files, then removes the unnamed regular files whose last
    // change is at least kMinimumAge before `now`. Returns the removed names.
    // Throws the store's errors (before removing anything).
    static QStringList sweep(ClipStore& store, const QString& folder, TimePoint now,
                             const QSet<QString>& extraNames = {});

Q_SIGNALS:
    // A sweep finished: the files it removed (none after an error, which is
    // logged as "Attachment janitor: " and its description).
    void swept(const QStringList& removed);

private:
    void start();
    void finished(const QStringList& removed);

    std::shared_ptr<ClipStore> m_store;
    QString m_folder;
    Clock m_clock;
    ExtraNames m_extraNames;
    QThreadPool m_pool;
    bool m_running = false;
    bool m_again = false;
};

} // namespace tessik
