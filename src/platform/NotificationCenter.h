#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace tessik {

// Process-wide notification centre for the "tessik.*" notifications.
//
// post() may be called from any thread. Each observer runs on the thread of
// the context object it was registered with (for all of ours, the main
// thread): synchronously when the post comes from that thread, otherwise as a
// queued call on its event loop. An observer is dropped automatically when its
// context is destroyed, so observers refer to their owner weakly.
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    // The instance every part of the application uses. It is created on first
    // use and lives in the thread that first asks for it; ask for it from the
    // main thread first (the application and tests do so at start-up).
    static NotificationCenter& defaultCenter();

    // Names of the notifications the application posts.
    static inline const QString clipStoreDidChange = QStringLiteral("tessik.clipStoreDidChange");
    static inline const QString favoriteStoreDidChange =
        QStringLiteral("tessik.favoriteStoreDidChange");
    static inline const QString syncPreferenceChanged =
        QStringLiteral("tessik.syncPreferenceChanged");
    static inline const QString favoriteCloudSyncPreferenceChanged =
        QStringLiteral("tessik.favoriteCloudSyncPreferenceChanged");

    void post(const QString& name);

    // Runs `handler` for every later post of `name` until `context` is
    // destroyed or the returned connection is disconnected.
    QMetaObject::Connection addObserver(const QString& name, const QObject* context,
                                        std::function<void()> handler);

Q_SIGNALS:
    void posted(const QString& name);
};

} // namespace tessik
