#include "Discovery.h"

#include <QMetaObject>

namespace tessik::net {

void Discovery::post(QObject* context, std::function<void()> work) {
    // Queued events for a destroyed object are discarded by Qt.
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

} // namespace tessik::net
