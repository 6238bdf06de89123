#include "IOSAppState.h"

#include "app/AttachmentJanitor.h"
#include "capture/ClipCaptureService.h"
#include "capture/PasteService.h"
#include "favorites/FavoriteStoreMigration.h"
#include "sync/SyncCoordinator.h"
#include "sync/SyncEngine.h"
#include "platform/AppPaths.h"
#include "platform/Error.h"
#include "platform/IOSAppPreferences.h"
#include "platform/Logging.h"
#include "platform/NotificationCenter.h"
#include "platform/Uuid.h"
#include "store/ClipStore.h"

#include <QTimer>

#include <algorithm>

namespace tessik {

namespace {

// Runs a store operation; on an error logs "<prefix><description>" once and
// returns false.
template <class Work>
bool attempt(const char* prefix, Work&& work) {
    QString description;
    try {
        work();
        return true;
    } catch (const Error& error) {
        description = error.description();
    } catch (const std::exception& error) {
        description = QString::fromLocal8Bit(error.what());
    }
    qCWarning(lcTessik, "%s", qUtf8Printable(QLatin1String(prefix) + description));
    return false;
}

void scheduleOnMainThread(std::chrono::nanoseconds delay, QObject* context,
                          std::function<void()> step) {
    const auto msecs = std::chrono::ceil<std::chrono::milliseconds>(delay);
    QTimer::singleShot(msecs, Qt::PreciseTimer, context, std::move(step));
}

std::shared_ptr<ClipStore> openStandardStore() {
    // The favourites' tables live in the same database.
    QList<Migration> later;
    FavoriteStoreMigration::registerV2(later);
    return ClipStore::makeShared(IOSAppPreferences::historyLimit(), later);
}

void addAttachmentNames(QSet<QString>& names, const ClipItem& item) {
    for (const auto& name : {item.richTextPath, item.imagePath, item.thumbnailPath}) {
        if (name) {
            names.insert(*name);
        }
    }
}

} // namespace

IOSAppState::IOSAppState(std::shared_ptr<ClipStore> store, Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {
    if (!m_options.pasteboard) {
        m_options.pasteboard = &Pasteboard::general();
    }
    if (m_options.attachmentsDir.isEmpty()) {
        m_options.attachmentsDir = AppPaths::attachmentsDirectory();
    }
    if (!m_options.scheduler) {
        m_options.scheduler = &scheduleOnMainThread;
    }
    if (!m_options.clock) {
        m_options.clock = &tessik::now;
    }
    startUp(std::move(store));
}

IOSAppState::~IOSAppState() = default;

// Start-up, in its order. The local-network sync coordinator and the
// favourite cloud sync join at the marked places; nothing is pushed to the
// network during start-up.
void IOSAppState::startUp(std::shared_ptr<ClipStore> store) {
    // 1. The published properties: empty lists, no selection, no toast, and
    // the pause the user chose in an earlier run.
    m_isPaused = IOSAppPreferences::isPausedRecording();

    // 2. The local-network sync coordinator (the favourite cloud sync joins
    // here).
    m_syncCoordinator = new SyncCoordinator(
        m_options.syncEngine ? *m_options.syncEngine : SyncEngine::shared(), this);

    // 3. The history database: the given store or the standard one, whose
    // failure to open stops the process.
    m_store = store ? std::move(store) : openStandardStore();

    // 4. The clip store to the sync coordinator, which starts the engine when
    // local-network sync is enabled.
    m_syncCoordinator->configure(m_store);
    // 5. Here the favourite store and the clip store are handed to the
    // favourite cloud sync.

    // 6. The history list (the favourites load after it).
    reload();

    // 7. Capture, running unless paused.
    auto* service = new ClipCaptureService(m_store, *m_options.pasteboard,
                                           m_options.captureInterval, m_options.attachmentsDir, this);
    if (!m_isPaused) {
        service->start();
    }
    m_captureService = service;
    if (m_isPaused) {
        m_captureService->stop();
    }

    // 8. History changes made elsewhere (capture, the sync engine). The
    // favourite store's notification is observed beside it once favourites
    // are shown.
    observeStoreChanges();

    // Attachment files left behind by earlier runs.
    m_janitor = new AttachmentJanitor(m_store, m_options.attachmentsDir, m_options.clock, this);
    m_janitor->setExtraNames([this] { return shownAttachmentNames(); });
    m_lastChangeSweep = m_options.clock();
    m_janitor->request();
}

void IOSAppState::observeStoreChanges() {
    // The observer and its later step are tied to this object: both are
    // dropped once it is gone.
    m_observer = NotificationCenter::defaultCenter().addObserver(
        NotificationCenter::clipStoreDidChange, this, [this] {
            QMetaObject::invokeMethod(this, &IOSAppState::historyDidChange, Qt::QueuedConnection);
        });
}

void IOSAppState::historyDidChange() {
    reload();
    pushLatestClip();

    // New captures prune the oldest clips once the history is full.
    const TimePoint current = m_options.clock();
    if (current - m_lastChangeSweep >= kChangeSweepInterval) {
        m_lastChangeSweep = current;
        sweepAttachments();
    }
}

// The clip pushed is the newest one of the history by capture time, not the
// first row on screen: with a pinned clip on top, or a search under way, new
// copies would otherwise never reach the other devices.
void IOSAppState::pushLatestClip() {
    std::optional<ClipItem> newest;
    try {
        newest = m_store->newest();
    } catch (const Error& error) {
        qCWarning(lcTessik, "IOSAppState pushLatestClip: %s", qUtf8Printable(error.description()));
        return;
    }
    if (!newest || newest->id == m_lastSyncedClipID) {
        return;
    }
    // Recorded as handed over also while sync is off, so switching sync on
    // later does not send an old clip.
    m_lastSyncedClipID = newest->id;
    m_syncCoordinator->push(*newest);
}

void IOSAppState::setSearchText(const QString& text) {
    if (m_searchText != text) {
        m_searchText = text;
        Q_EMIT searchTextChanged();
    }
}

QString IOSAppState::selectedCategoryIDText() const {
    return m_selectedCategoryID ? uuidText(*m_selectedCategoryID) : QString();
}

QString IOSAppState::selectedClipIDText() const {
    return m_selectedClipID ? uuidText(*m_selectedClipID) : QString();
}

void IOSAppState::reload() {
    QList<ClipItem> loaded;
    const bool ok = attempt("IOSAppState reload: ", [&] {
        // Clips listed already keep their texts: a list of large texts is
        // held once, not once more per reload.
        loaded = m_searchText.isEmpty() ? m_store->fetchRecent(kListLimit, m_clips)
                                        : m_store->search(m_searchText, kListLimit, m_clips);
    });
    if (!ok) {
        return;
    }
    setClips(std::move(loaded));
    const bool stillListed =
        m_selectedClipID && std::any_of(m_clips.cbegin(), m_clips.cend(), [&](const ClipItem& clip) {
            return clip.id == *m_selectedClipID;
        });
    if (!stillListed) {
        setSelectedClipID(m_clips.isEmpty() ? std::nullopt : std::optional(m_clips.first().id));
    }
}

void IOSAppState::refreshFromPasteboard() {
    if (m_isPaused || !m_captureService) {
        return;
    }
    m_captureService->refreshFromPasteboard();
}

void IOSAppState::copy(const ClipItem& item, bool plainTextOnly) {
    PasteService::copy(item, plainTextOnly, *m_options.pasteboard, m_options.attachmentsDir);
    showToast(plainTextOnly ? QStringLiteral("已复制纯文本") : QStringLiteral("已复制到剪贴板"));
}

void IOSAppState::showToast(const QString& message) {
    // Each toast's end clears only that toast: the same text shown again (two
    // copies in a row) gets its own full duration as well.
    const quint64 serial = ++m_toastSerial;
    setToastMessage(message);
    m_options.scheduler(kToastDuration, this, [this, message, serial] {
        if (m_toastSerial == serial && m_toastMessage == message) {
            setToastMessage(std::nullopt);
        }
    });
}

void IOSAppState::togglePin(const ClipItem& item) {
    if (attempt("Pin error: ", [&] { m_store->setPinned(item.id, !item.isPinned); })) {
        NotificationCenter::defaultCenter().post(NotificationCenter::clipStoreDidChange);
        reload();
    }
}

void IOSAppState::deleteClip(const ClipItem& item) {
    if (attempt("Delete error: ", [&] { m_store->deleteClip(item.id); })) {
        reload();
        sweepAttachments();
    }
}

void IOSAppState::togglePause() {
    m_isPaused = !m_isPaused;
    IOSAppPreferences::setIsPausedRecording(m_isPaused);
    Q_EMIT isPausedChanged();
    if (m_captureService) {
        if (m_isPaused) {
            m_captureService->stop();
        } else {
            m_captureService->start();
        }
    }
}

void IOSAppState::setHistoryLimit(int limit) {
    if (!IOSAppPreferences::allowedHistoryLimits().contains(limit)) {
        return;
    }
    IOSAppPreferences::setHistoryLimit(limit);
    if (attempt("History limit: ", [&] { m_store->setMaxItems(limit); })) {
        reload();
        sweepAttachments();
    }
}

int IOSAppState::historyLimit() const {
    return IOSAppPreferences::historyLimit();
}

void IOSAppState::clearUnpinned() {
    if (attempt("Clear: ", [&] { m_store->deleteAll(true); })) {
        reload();
        sweepAttachments();
    }
}

void IOSAppState::selectClip(const ClipItem& item) {
    setSelectedClipID(item.id);
}

std::optional<ClipItem> IOSAppState::clipForSelection(const std::optional<QUuid>& id,
                                                      const QList<ClipItem>& clips) {
    if (!id) {
        return clips.isEmpty() ? std::nullopt : std::optional(clips.first());
    }
    const auto found = std::find_if(clips.cbegin(), clips.cend(),
                                    [&](const ClipItem& clip) { return clip.id == *id; });
    return found == clips.cend() ? std::nullopt : std::optional(*found);
}

void IOSAppState::setClips(QList<ClipItem> clips) {
    m_clips = std::move(clips);
    Q_EMIT clipsChanged();
}

void IOSAppState::setSelectedClipID(const std::optional<QUuid>& id) {
    if (m_selectedClipID != id) {
        m_selectedClipID = id;
        Q_EMIT selectedClipIDChanged();
    }
}

void IOSAppState::setToastMessage(const std::optional<QString>& message) {
    if (m_toastMessage != message) {
        m_toastMessage = message;
        Q_EMIT toastMessageChanged();
    }
}

QSet<QString> IOSAppState::shownAttachmentNames() const {
    // Favourites whose clip left the history show files rebuilt from their
    // snapshots, which no history row names.
    QSet<QString> names;
    for (const ClipItem& clip : m_favoriteClips) {
        addAttachmentNames(names, clip);
    }
    return names;
}

void IOSAppState::sweepAttachments() {
    if (m_janitor) {
        m_janitor->request();
    }
}

} // namespace tessik
