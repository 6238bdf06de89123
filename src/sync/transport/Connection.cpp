#include "Connection.h"

#include <QTcpSocket>

namespace tessik::net {

Connection::Connection(const QString& host, quint16 port, QObject* parent)
    : QObject(parent), m_socket(new QTcpSocket(this)), m_host(host), m_port(port),
      m_accepted(false) {
    connect(m_socket, &QTcpSocket::connected, this, [this] { setState(State::ready); });
}

Connection::Connection(QTcpSocket* accepted, QObject* parent)
    : QObject(parent), m_socket(accepted), m_accepted(true) {
    m_socket->setParent(this);
}

Connection::~Connection() {
    // Handlers must not run for an object that is going away.
    m_stateHandler = nullptr;
    m_receive = nullptr;
    m_sends.clear();
    m_socket->abort();
}

void Connection::start() {
    connect(m_socket, &QTcpSocket::readyRead, this, &Connection::onReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &Connection::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &Connection::onDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &Connection::onError);
    connect(&m_idle, &QTimer::timeout, this,
            [this] { fail(NetworkError(QStringLiteral("connection idle for too long"))); });
    touch();
    if (m_connectTimeoutMs > 0) {
        m_connectDeadline.setSingleShot(true);
        connect(&m_connectDeadline, &QTimer::timeout, this, [this] {
            if (m_state == State::preparing) {
                fail(NetworkError(QStringLiteral("the connection was not ready in time")));
            }
        });
        m_connectDeadline.start(m_connectTimeoutMs);
    }
    setState(State::preparing);
    if (m_accepted) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_state == State::preparing) {
                    setState(State::ready);
                }
            },
            Qt::QueuedConnection);
    } else {
        m_socket->connectToHost(m_host, m_port);
    }
}

void Connection::setIdleTimeout(int milliseconds) {
    m_idle.setSingleShot(true);
    m_idle.setInterval(milliseconds);
    touch();
}

void Connection::touch() {
    if (m_idle.interval() > 0 && m_state != State::failed && m_state != State::cancelled) {
        m_idle.start();
    }
}

QString Connection::peerDescription() const {
    if (!m_accepted) {
        return QStringLiteral("%1:%2").arg(m_host).arg(m_port);
    }
    return QStringLiteral("%1:%2").arg(m_socket->peerAddress().toString()).arg(m_socket->peerPort());
}

void Connection::setState(State state, const std::optional<NetworkError>& error) {
    m_state = state;
    if (state != State::preparing) {
        m_connectDeadline.stop();
    }
    if (m_stateHandler) {
        // A copy: the handler may replace itself or end the connection.
        const StateHandler handler = m_stateHandler;
        handler(state, error);
    }
}

void Connection::send(const QByteArray& bytes, SendCompletion completion) {
    if (m_state == State::failed || m_state == State::cancelled) {
        if (completion) {
            completion(NetworkError(QStringLiteral("the connection is closed")));
        }
        return;
    }
    m_queued += bytes.size();
    m_sends.push_back({m_queued, std::move(completion)});
    m_socket->write(bytes);
}

void Connection::onBytesWritten(qint64 bytes) {
    touch();
    m_written += bytes;
    while (!m_sends.empty() && m_sends.front().end <= m_written) {
        SendCompletion completion = std::move(m_sends.front().completion);
        m_sends.pop_front();
        if (completion) {
            completion(std::nullopt);
        }
    }
}

void Connection::receive(qint64 count, ReceiveCompletion completion) {
    m_wanted = count;
    m_received.clear();
    m_receive = std::move(completion);
    if (m_state == State::failed || m_state == State::cancelled) {
        finishReceive(NetworkError(QStringLiteral("the connection is closed")));
        return;
    }
    onReadyRead();
}

void Connection::onReadyRead() {
    touch();
    if (!m_wanted) {
        return;  // the bytes wait in the socket for the next receive
    }
    const qint64 missing = *m_wanted - m_received.size();
    if (missing > 0 && m_socket->bytesAvailable() > 0) {
        m_received.append(m_socket->read(std::min(missing, m_socket->bytesAvailable())));
    }
    if (m_received.size() == *m_wanted) {
        finishReceive(std::nullopt);
    } else if (m_ended && m_socket->bytesAvailable() == 0) {
        finishReceive(std::nullopt);  // fewer bytes: the stream ended
    }
}

void Connection::finishReceive(const std::optional<NetworkError>& error) {
    ReceiveCompletion completion = std::move(m_receive);
    m_receive = nullptr;
    m_wanted.reset();
    const QByteArray data = std::exchange(m_received, QByteArray());
    if (completion) {
        completion(data, error);
    }
}

void Connection::onDisconnected() {
    m_ended = true;
    failSends(NetworkError(QStringLiteral("the peer closed the connection")));
    if (m_wanted) {
        onReadyRead();
    }
}

void Connection::onError() {
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError) {
        onDisconnected();  // an orderly end of the stream, not a failure
        return;
    }
    fail(NetworkError(m_socket->errorString()));
}

void Connection::fail(const NetworkError& error) {
    if (m_state == State::failed || m_state == State::cancelled) {
        return;
    }
    m_idle.stop();
    m_socket->abort();
    failSends(error);
    if (m_wanted) {
        finishReceive(error);
    }
    setState(State::failed, error);
}

void Connection::failSends(const NetworkError& error) {
    std::deque<PendingSend> sends = std::exchange(m_sends, {});
    for (PendingSend& send : sends) {
        if (send.completion) {
            send.completion(error);
        }
    }
}

void Connection::cancel() {
    if (m_state == State::cancelled) {
        return;
    }
    m_idle.stop();
    m_state = State::cancelled;
    // Graceful: what was written still reaches the peer before the FIN.
    m_socket->disconnectFromHost();
    const NetworkError cancelled(QStringLiteral("the connection was cancelled"));
    failSends(cancelled);
    if (m_wanted) {
        finishReceive(cancelled);
    }
    setState(State::cancelled);
}

} // namespace tessik::net
