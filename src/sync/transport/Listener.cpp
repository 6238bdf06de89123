#include "Listener.h"

#include <QTcpSocket>

namespace tessik::net {

Listener::Listener(std::shared_ptr<Discovery> discovery, quint16 port, QObject* parent)
    : QObject(parent), m_discovery(std::move(discovery)) {
    m_server.setMaxPendingConnections(128);
    if (!m_server.listen(QHostAddress::Any, port)) {
        throw NetworkError(m_server.errorString());
    }
    // Accepting waits for start(): until then connections queue in the kernel.
    m_server.pauseAccepting();
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto connection = std::make_unique<Connection>(socket);
            if (m_onConnection) {
                m_onConnection(std::move(connection));
            }
        }
    });
    connect(&m_server, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        if (m_onFailed) {
            m_onFailed(NetworkError(m_server.errorString()));
        }
    });
}

Listener::~Listener() = default;

void Listener::start() {
    m_server.resumeAccepting();
    m_advertisement = m_discovery->advertise(m_serviceName, port(), this,
                                             [this](const QString& error) {
                                                 if (m_onFailed) {
                                                     m_onFailed(NetworkError(error));
                                                 }
                                             });
}

void Listener::cancel() {
    m_advertisement.reset();
    m_server.close();
}

Browser::Browser(std::shared_ptr<Discovery> discovery, QObject* parent)
    : QObject(parent), m_discovery(std::move(discovery)) {}

Browser::~Browser() = default;

void Browser::start() {
    m_browse = m_discovery->browse(
        this,
        [this](const QList<BrowseResult>& results) {
            if (m_onResults) {
                m_onResults(results);
            }
        },
        [this](const QString& error) {
            if (m_onFailed) {
                m_onFailed(NetworkError(error));
            }
        });
}

void Browser::cancel() {
    m_browse.reset();
}

} // namespace tessik::net
