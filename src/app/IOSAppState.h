#pragma once

#include "capture/ClipItem.h"
#include "capture/PasteboardMonitor.h"
#include "favorites/FavoriteModel.h"
#include "platform/Clock.h"
#include "platform/Pasteboard.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tessik {

class AttachmentJanitor;
class ClipCaptureService;
class ClipStore;
class SyncCoordinator;
class SyncEngine;

// What the controller works against; the defaults are the application's.
struct IOSAppStateOptions {
    // Runs `step` once, `delay` from now, on the main thread, unless
    // `context` is gone by then.
    using Scheduler =
        std::function<void(std::chrono::nanoseconds delay, QObject* context, std::function<void()> step)>;

    Pasteboard* pasteboard = nullptr;  // the system clipboard
    QString attachmentsDir;            // AppPaths::attachmentsDirectory()
    double captureInterval = PasteboardMonitor::kDefaultInterval;
    Scheduler scheduler;               // a main-thread timer
    Clock clock;                       // the wall clock (attachment ages)
    SyncEngine* syncEngine = nullptr;  // SyncEngine::shared()
};

// The application's central controller: it opens the clip store, runs
// pasteboard capture and holds the state every screen shows. Screens read its
// properties (each with a change signal, for QML) and call one operation per
// user action; they never reach the stores themselves.
//
// Main thread only. Store errors never leave this class: each operation logs
// one line through lcTessik (a fixed prefix and the error's description) and
// leaves the properties as they were.
class IOSAppState : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<tessik::ClipItem> clips READ clips NOTIFY clipsChanged)
    Q_PROPERTY(QList<tessik::ClipItem> favoriteClips READ favoriteClips NOTIFY favoriteClipsChanged)
    Q_PROPERTY(QList<tessik::FavoriteCategory> favoriteCategories READ favoriteCategories
                   NOTIFY favoriteCategoriesChanged)
    // Optional ids and the toast read as their text, empty for none.
    Q_PROPERTY(QString selectedCategoryID READ selectedCategoryIDText NOTIFY selectedCategoryIDChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(QString selectedClipID READ selectedClipIDText NOTIFY selectedClipIDChanged)
    Q_PROPERTY(bool isPaused READ isPaused NOTIFY isPausedChanged)
    Q_PROPERTY(QString toastMessage READ toastMessageText NOTIFY toastMessageChanged)

public:
    // How many clips the history list holds.
    static constexpr int kListLimit = 200;
    static constexpr std::chrono::nanoseconds kToastDuration{1'800'000'000};
    // After history changes made elsewhere the attachments are swept at most
    // this often (seconds): new captures prune the oldest clips once the
    // history is full, but a sweep per capture would be wasted work.
    static constexpr double kChangeSweepInterval = 600.0;

    using Scheduler = IOSAppStateOptions::Scheduler;
    using Options = IOSAppStateOptions;

    // Starts up over `store`, or over the standard store when none is given
    // (a store that cannot be opened stops the process).
    explicit IOSAppState(std::shared_ptr<ClipStore> store = nullptr, Options options = {},
                         QObject* parent = nullptr);
    ~IOSAppState() override;

    const QList<ClipItem>& clips() const { return m_clips; }
    const QList<ClipItem>& favoriteClips() const { return m_favoriteClips; }
    const QList<FavoriteCategory>& favoriteCategories() const { return m_favoriteCategories; }
    const std::optional<QUuid>& selectedCategoryID() const { return m_selectedCategoryID; }
    const QString& searchText() const { return m_searchText; }
    void setSearchText(const QString& text);
    const std::optional<QUuid>& selectedClipID() const { return m_selectedClipID; }
    bool isPaused() const { return m_isPaused; }
    const std::optional<QString>& toastMessage() const { return m_toastMessage; }

    QString selectedCategoryIDText() const;
    QString selectedClipIDText() const;
    QString toastMessageText() const { return m_toastMessage.value_or(QString()); }

    const std::shared_ptr<ClipStore>& store() const { return m_store; }
    ClipCaptureService* captureService() const { return m_captureService; }
    // Local-network sync, for the settings screen.
    SyncCoordinator* syncCoordinator() const { return m_syncCoordinator; }
    AttachmentJanitor& attachmentJanitor() const { return *m_janitor; }

    // Re-reads `clips` (the search result for a non-empty searchText, else the
    // recent list; at most kListLimit) and keeps the selection on a listed
    // clip, or moves it to the first one.
    Q_INVOKABLE void reload();
    // Reads the pasteboard now, unless capture is paused.
    Q_INVOKABLE void refreshFromPasteboard();
    // Puts the clip on the pasteboard (only its text with `plainTextOnly`)
    // and confirms it with a toast.
    Q_INVOKABLE void copy(const tessik::ClipItem& item, bool plainTextOnly);
    // Shows `message` for kToastDuration; a later toast is not cut short by
    // an earlier one's end.
    Q_INVOKABLE void showToast(const QString& message);
    Q_INVOKABLE void togglePin(const tessik::ClipItem& item);
    Q_INVOKABLE void deleteClip(const tessik::ClipItem& item);
    // Flips isPaused, saves it and stops or starts capture.
    Q_INVOKABLE void togglePause();
    // Saves and applies one of the allowed limits (100, 200, 500, 1000),
    // pruning at once; any other value is ignored.
    Q_INVOKABLE void setHistoryLimit(int limit);
    Q_INVOKABLE int historyLimit() const;
    // Deletes every clip that is not pinned.
    Q_INVOKABLE void clearUnpinned();
    Q_INVOKABLE void selectClip(const tessik::ClipItem& item);

    // The clip to show for a selection: with no id the first of `clips`,
    // otherwise the listed clip with that id; none when there is no such clip.
    static std::optional<ClipItem> clipForSelection(const std::optional<QUuid>& id,
                                                    const QList<ClipItem>& clips);

Q_SIGNALS:
    void clipsChanged();
    void favoriteClipsChanged();
    void favoriteCategoriesChanged();
    void selectedCategoryIDChanged();
    void searchTextChanged();
    void selectedClipIDChanged();
    void isPausedChanged();
    void toastMessageChanged();

private:
    void startUp(std::shared_ptr<ClipStore> store);
    // Hands the newest clip to local-network sync unless it was the last one
    // handed over.
    void pushLatestClip();
    void observeStoreChanges();
    // The later step of a "tessik.clipStoreDidChange" notification.
    void historyDidChange();
    void setClips(QList<ClipItem> clips);
    void setSelectedClipID(const std::optional<QUuid>& id);
    void setToastMessage(const std::optional<QString>& message);
    // Names of attachment files the lists show besides the history rows.
    QSet<QString> shownAttachmentNames() const;
    void sweepAttachments();

    // Published.
    QList<ClipItem> m_clips;
    QList<ClipItem> m_favoriteClips;
    QList<FavoriteCategory> m_favoriteCategories;
    std::optional<QUuid> m_selectedCategoryID;
    QString m_searchText;
    std::optional<QUuid> m_selectedClipID;
    bool m_isPaused = false;
    std::optional<QString> m_toastMessage;
    quint64 m_toastSerial = 0;

    Options m_options;
    std::shared_ptr<ClipStore> m_store;
    ClipCaptureService* m_captureService = nullptr;  // a child
    SyncCoordinator* m_syncCoordinator = nullptr;    // a child
    std::optional<QUuid> m_lastSyncedClipID;
    QMetaObject::Connection m_observer;
    AttachmentJanitor* m_janitor = nullptr;  // a child
    TimePoint m_lastChangeSweep = 0;  // the last sweep not asked for by an operation
};

} // namespace tessik
