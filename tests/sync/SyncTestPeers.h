#pragma once

// Test doubles for the sync engine's outgoing side: discovery results the
// test decides, and a peer on loopback that answers as the test says.

#include "sync/SyncMessage.h"
#include "sync/SyncWireCodec.h"
#include "sync/transport/Connection.h"
#include "sync/transport/Discovery.h"

#include <QMap>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

namespace tessik::testing {

using M = SyncMessage;

// Browse results the test decides, handed to every browsing engine.
class ManualDiscovery : public net::Discovery {
public:
    std::unique_ptr<net::DiscoveryHandle> advertise(const QString&, quint16, QObject*,
                                                    FailureHandler) override {
        return std::make_unique<net::DiscoveryHandle>();
    }
    std::unique_ptr<net::DiscoveryHandle> browse(QObject* context, ResultsHandler onResults,
                                                 FailureHandler) override {
        QMutexLocker lock(&m_mutex);  // browsing starts on the engine's thread
        const int id = ++m_next;
        m_browsers.insert(id, {context, onResults});
        post(context, [handler = std::move(onResults), results = m_results] { handler(results); });
        return std::make_unique<Handle>(this, id);
    }
    void publish(const QList<net::BrowseResult>& results) {
        QMutexLocker lock(&m_mutex);
        m_results = results;
        for (const auto& [context, handler] : m_browsers) {
            post(context, [handler = handler, results] { handler(results); });
        }
    }

private:
    // Browsing ends with its handle: a browser that was replaced (a new
    // device name restarts it) must not be told anything more.
    class Handle : public net::DiscoveryHandle {
    public:
        Handle(ManualDiscovery* owner, int id) : m_owner(owner), m_id(id) {}
        ~Handle() override {
            QMutexLocker lock(&m_owner->m_mutex);
            m_owner->m_browsers.remove(m_id);
        }

    private:
        ManualDiscovery* m_owner;
        int m_id;
    };

    QMutex m_mutex;
    QList<net::BrowseResult> m_results;
    QMap<int, std::pair<QObject*, ResultsHandler>> m_browsers;
    int m_next = 0;
};

// A peer on loopback answering each request as the test says (no reply:
// it keeps the connection open and silent). Runs on the test thread.
class FakePeer {
public:
    using Responder = std::function<std::optional<M>(const M&)>;

    explicit FakePeer(Responder responder) : m_responder(std::move(responder)) {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                auto connection = std::make_shared<net::Connection>(socket);
                m_connections.append(connection);
                ++accepted;
                connection->setStateHandler([this, raw = connection.get()](auto state, const auto&) {
                    if (state == net::Connection::State::ready) {
                        serve(raw);
                    }
                });
                connection->start();
            }
        });
    }

    net::BrowseResult endpoint(const QString& name) const {
        return {name, QStringLiteral("%1@fake:%2").arg(name).arg(m_server.serverPort()),
                QStringLiteral("127.0.0.1"), m_server.serverPort()};
    }

    QList<M> requests;
    int accepted = 0;

    int count(const QString& caseName) const {
        return int(std::count_if(requests.begin(), requests.end(),
                                 [&](const M& m) { return m.caseName() == caseName; }));
    }
    QList<M::PullRequest> pulls() const {
        QList<M::PullRequest> result;
        for (const M& m : requests) {
            if (const auto* pull = std::get_if<M::PullRequest>(&m.value)) {
                result.append(*pull);
            }
        }
        return result;
    }

private:
    void serve(net::Connection* connection) {
        SyncWireCodec::receive(*connection, [this, connection](const SyncWireCodec::Received& received) {
            if (!received.message) {
                return;
            }
            requests.append(*received.message);
            if (const std::optional<M> reply = m_responder(*received.message)) {
                SyncWireCodec::send(*reply, *connection, [this, connection](const auto&) { serve(connection); });
            }
        });
    }

    Responder m_responder;
    QTcpServer m_server;
    QList<std::shared_ptr<net::Connection>> m_connections;
};

// Answers like another device with an empty history.
inline std::optional<M> friendly(const M& request) {
    if (std::holds_alternative<M::Health>(request.value)) {
        return M{M::HealthResponse{true, QStringLiteral("Peer"), QStringLiteral("PEER-DEVICE")}};
    }
    if (std::holds_alternative<M::PullRequest>(request.value)) {
        return M{M::PullResponse{}};
    }
    if (std::holds_alternative<M::PushRequest>(request.value)) {
        return M{M::PushResponse{true}};
    }
    return std::nullopt;
}

} // namespace tessik::testing
