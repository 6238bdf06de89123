#include "NotificationCenter.h"

namespace tessik {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

void NotificationCenter::post(const QString& name) {
    Q_EMIT posted(name);
}

QMetaObject::Connection NotificationCenter::addObserver(const QString& name,
                                                        const QObject* context,
                                                        std::function<void()> handler) {
    // Auto connection: direct when posted on the context's thread, queued
    // otherwise. Qt drops the connection when the context goes away.
    return connect(this, &NotificationCenter::posted, context,
                   [name, handler = std::move(handler)](const QString& posted) {
                       if (posted == name) {
                           handler();
                       }
                   });
}

} // namespace tessik
