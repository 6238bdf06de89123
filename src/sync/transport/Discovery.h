#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace tessik::net {

// One service found by browsing.
struct BrowseResult {
    QString name;                 // the advertised service name
    QString endpointDescription;  // stable text per service and device
    QString host;                 // where to connect
    quint16 port = 0;

    bool operator==(const BrowseResult&) const = default;
};

// Advertising or browsing that lasts until the object is destroyed.
class DiscoveryHandle {
public:
    virtual ~DiscoveryHandle() = default;
};

// How services of the sync type are advertised and found: over mDNS with the
// system's daemon, within one process for tests, or from a fixed list.
// Thread-safe; callbacks run on the thread of their context object, queued,
// and are dropped once the context is destroyed.
class Discovery {
public:
    using FailureHandler = std::function<void(const QString& error)>;
    using ResultsHandler = std::function<void(const QList<BrowseResult>&)>;

    virtual ~Discovery() = default;

    // Advertises `name` on `port` until the handle is destroyed. A failure
    // (now or later) is reported with the backend's own text.
    virtual std::unique_ptr<DiscoveryHandle> advertise(const QString& name, quint16 port,
                                                       QObject* context,
                                                       FailureHandler onFailed) = 0;

    // Reports the complete current set of services after every change until
    // the handle is destroyed.
    virtual std::unique_ptr<DiscoveryHandle> browse(QObject* context, ResultsHandler onResults,
                                                    FailureHandler onFailed) = 0;

protected:
    // Runs `work` on the context's thread, queued; nothing when it is gone.
    static void post(QObject* context, std::function<void()> work);
};

} // namespace tessik::net
