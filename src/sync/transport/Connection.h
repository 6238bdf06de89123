#pragma once

#include "sync/transport/NetworkError.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

class QTcpSocket;

namespace tessik::net {

// One TCP connection, outgoing or accepted, with the operations the sync
// code relies on: a state handler, whole sends with a completion, and
// receives of an exact number of bytes.
//
// Lives on the thread that created it (the sync engine's); every handler and
// completion runs there. Never blocks.
class Connection : public QObject {
    Q_OBJECT
public:
    enum class State { setup, preparing, ready, failed, cancelled };
    using StateHandler = std::function<void(State, const std::optional<NetworkError>&)>;
    using SendCompletion = std::function<void(const std::optional<NetworkError>&)>;
    // Exactly the bytes asked for, or fewer (possibly none) when the stream
    // ended first, or an error.
    using ReceiveCompletion =
        std::function<void(const QByteArray&, const std::optional<NetworkError>&)>;

    // An outgoing connection to host:port; it connects on start().
    Connection(const QString& host, quint16 port, QObject* parent = nullptr);
    // An accepted connection; it is ready as soon as it starts.
    explicit Connection(QTcpSocket* accepted, QObject* parent = nullptr);
    ~Connection() override;

    void setStateHandler(StateHandler handler) { m_stateHandler = std::move(handler); }
    // Connects (outgoing) or reports ready (accepted) from the event loop.
    void start();
    // Queues the bytes; the completion runs once they are written to the
    // socket, or with the error that stopped them.
    void send(const QByteArray& bytes, SendCompletion completion = {});
    // Completes once `count` bytes arrived, the stream ended or it failed.
    // One receive at a time; bytes beyond `count` stay for the next one.
    void receive(qint64 count, ReceiveCompletion completion);
    // Closes the connection; pending completions run with an error.
    void cancel();

    // Closes the connection, reported as failed, when no byte moved in
    // either direction for this long (0 = never).
    void setIdleTimeout(int milliseconds);
    // Fails the connection when it is not ready this long after start()
    // (0 = never). Call before start().
    void setConnectTimeout(int milliseconds) { m_connectTimeoutMs = milliseconds; }

    State state() const { return m_state; }
    QString peerDescription() const;

private:
    void setState(State state, const std::optional<NetworkError>& error = std::nullopt);
    void onReadyRead();
    void onBytesWritten(qint64 bytes);
    void onDisconnected();
    void onError();
    void fail(const NetworkError& error);
    void finishReceive(const std::optional<NetworkError>& error);
    void failSends(const NetworkError& error);
    void touch();

    QTcpSocket* m_socket;
    QString m_host;
    quint16 m_port = 0;
    bool m_accepted;
    State m_state = State::setup;
    StateHandler m_stateHandler;

    struct PendingSend {
        qint64 end;  // total bytes written once this one is done
        SendCompletion completion;
    };
    std::deque<PendingSend> m_sends;
    qint64 m_queued = 0;
    qint64 m_written = 0;

    std::optional<qint64> m_wanted;
    QByteArray m_received;
    ReceiveCompletion m_receive;
    bool m_ended = false;

    QTimer m_idle;
    QTimer m_connectDeadline;
    int m_connectTimeoutMs = 0;
};

} // namespace tessik::net
