#include "StaticDiscovery.h"

namespace tessik::net {

std::optional<BrowseResult> StaticDiscovery::parsePeer(const QString& text) {
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (at <= 0 || colon <= at + 1) {
        return std::nullopt;
    }
    QString host = text.mid(at + 1, colon - at - 1);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    }
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || host.isEmpty()) {
        return std::nullopt;
    }
    const QString name = text.left(at);
    return BrowseResult{name, text, host, static_cast<quint16>(port)};
}

std::unique_ptr<DiscoveryHandle> StaticDiscovery::advertise(const QString&, quint16, QObject*,
                                                            FailureHandler) {
    return std::make_unique<DiscoveryHandle>();
}

std::unique_ptr<DiscoveryHandle> StaticDiscovery::browse(QObject* context,
                                                         ResultsHandler onResults,
                                                         FailureHandler) {
    post(context, [onResults = std::move(onResults), peers = m_peers] { onResults(peers); });
    return std::make_unique<DiscoveryHandle>();
}

} // namespace tessik::net
