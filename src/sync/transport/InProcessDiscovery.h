#pragma once

#include "sync/transport/Discovery.h"

namespace tessik::net {

// Discovery within one process: every engine sees the services advertised
// by every other (and itself) at 127.0.0.1. For tests. Thread-safe.
class InProcessDiscovery : public Discovery {
public:
    std::unique_ptr<DiscoveryHandle> advertise(const QString& name, quint16 port,
                                               QObject* context,
                                               FailureHandler onFailed) override;
    std::unique_ptr<DiscoveryHandle> browse(QObject* context, ResultsHandler onResults,
                                            FailureHandler onFailed) override;
};

} // namespace tessik::net
