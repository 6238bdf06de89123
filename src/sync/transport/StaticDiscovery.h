#pragma once

#include "sync/transport/Discovery.h"

#include <QStringList>

#include <optional>

namespace tessik::net {

// A fixed list of peers given by the user, for networks without multicast.
// Advertising does nothing (peers are told this device's address by their
// own user); browsing reports the list once. Thread-safe.
class StaticDiscovery : public Discovery {
public:
    explicit StaticDiscovery(QList<BrowseResult> peers) : m_peers(std::move(peers)) {}

    // Reads "NAME@HOST:PORT" (the host may be an IPv6 address in brackets);
    // none for anything else.
    static std::optional<BrowseResult> parsePeer(const QString& text);

    std::unique_ptr<DiscoveryHandle> advertise(const QString& name, quint16 port,
                                               QObject* context,
                                               FailureHandler onFailed) override;
    std::unique_ptr<DiscoveryHandle> browse(QObject* context, ResultsHandler onResults,
                                            FailureHandler onFailed) override;

private:
    QList<BrowseResult> m_peers;
};

} // namespace tessik::net
