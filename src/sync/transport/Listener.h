#pragma once

#include "sync/transport/Connection.h"
#include "sync/transport/Discovery.h"

#include <QObject>
#include <QTcpServer>

#include <memory>

namespace tessik::net {

// The advertised server socket: accepts TCP connections on any port (or a
// fixed one) of every address and advertises them under a service name.
// Lives on the sync engine's thread; handlers run there.
class Listener : public QObject {
    Q_OBJECT
public:
    using FailureHandler = std::function<void(const NetworkError&)>;
    // Takes ownership of the accepted connection (not yet started).
    using ConnectionHandler = std::function<void(std::unique_ptr<Connection>)>;

    // Binds the socket. Throws NetworkError when it cannot (the port is
    // taken, no permission).
    Listener(std::shared_ptr<Discovery> discovery, quint16 port = 0, QObject* parent = nullptr);
    ~Listener() override;

    void setServiceName(const QString& name) { m_serviceName = name; }
    void setFailureHandler(FailureHandler handler) { m_onFailed = std::move(handler); }
    void setNewConnectionHandler(ConnectionHandler handler) { m_onConnection = std::move(handler); }

    // Starts accepting and advertising.
    void start();
    // Stops both and closes the socket.
    void cancel();

    quint16 port() const { return m_server.serverPort(); }

private:
    std::shared_ptr<Discovery> m_discovery;
    QTcpServer m_server;
    QString m_serviceName;
    FailureHandler m_onFailed;
    ConnectionHandler m_onConnection;
    std::unique_ptr<DiscoveryHandle> m_advertisement;
};

// Finds the services of the sync type. Lives on the sync engine's thread.
class Browser : public QObject {
    Q_OBJECT
public:
    using FailureHandler = std::function<void(const NetworkError&)>;
    using ResultsHandler = std::function<void(const QList<BrowseResult>&)>;

    explicit Browser(std::shared_ptr<Discovery> discovery, QObject* parent = nullptr);
    ~Browser() override;

    void setFailureHandler(FailureHandler handler) { m_onFailed = std::move(handler); }
    // Called with the complete current set after every change.
    void setResultsHandler(ResultsHandler handler) { m_onResults = std::move(handler); }

    void start();
    void cancel();

private:
    std::shared_ptr<Discovery> m_discovery;
    FailureHandler m_onFailed;
    ResultsHandler m_onResults;
    std::unique_ptr<DiscoveryHandle> m_browse;
};

} // namespace tessik::net
