#pragma once

#include "sync/transport/Discovery.h"

namespace tessik::net {

// mDNS / DNS-SD through the system's Avahi daemon: advertises the sync
// service type under a name with no TXT record, and browses the same type in
// "local", resolving each service to an IPv4 address and port. When the
// daemon cannot be reached, advertising and browsing fail with Avahi's own
// error text ("Daemon not running"). Each handle runs its own Avahi client on
// Avahi's thread and hands results to the context's thread. Thread-safe.
class AvahiDiscovery : public Discovery {
public:
    std::unique_ptr<DiscoveryHandle> advertise(const QString& name, quint16 port,
                                               QObject* context,
                                               FailureHandler onFailed) override;
    std::unique_ptr<DiscoveryHandle> browse(QObject* context, ResultsHandler onResults,
                                            FailureHandler onFailed) override;
};

} // namespace tessik::net
