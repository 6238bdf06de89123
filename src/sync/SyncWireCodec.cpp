#include "SyncWireCodec.h"

#include "sync/SyncError.h"

#include <QtEndian>

namespace tessik::SyncWireCodec {

std::optional<quint32> bodyLength(QByteArrayView prefix) {
    if (prefix.size() != 4) {
        return std::nullopt;
    }
    const quint32 length = qFromBigEndian<quint32>(prefix.data());
    if (length == 0 || length > maxFrameLength) {
        return std::nullopt;
    }
    return length;
}

QByteArray frame(const SyncMessage& message) {
    const QByteArray body = message.encode();
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(static_cast<quint32>(body.size()), bytes.data());
    return bytes + body;
}

void send(const SyncMessage& message, net::Connection& connection, SendCompletion completion) {
    connection.send(frame(message), std::move(completion));
}

namespace {

void finish(const ReceiveCompletion& completion, std::shared_ptr<const Error> error) {
    completion(Received{std::nullopt, std::move(error)});
}

} // namespace

void receive(net::Connection& connection, ReceiveCompletion completion) {
    connection.receive(4, [&connection, completion = std::move(completion)](
                              const QByteArray& prefix, const std::optional<net::NetworkError>& error) {
        if (error) {
            return finish(completion, std::make_shared<net::NetworkError>(*error));
        }
        const std::optional<quint32> announced = bodyLength(prefix);
        if (!announced) {
            return finish(completion, std::make_shared<SyncError>(SyncError::invalidFrame()));
        }
        const quint32 length = *announced;
        connection.receive(length, [length, completion](const QByteArray& body,
                                                        const std::optional<net::NetworkError>& error) {
            if (error) {
                return finish(completion, std::make_shared<net::NetworkError>(*error));
            }
            if (body.size() != static_cast<qsizetype>(length)) {
                return finish(completion, std::make_shared<SyncError>(SyncError::invalidFrame()));
            }
            std::optional<SyncMessage> message;
            try {
                message = SyncMessage::decode(body);
            } catch (const JsonError& decodeError) {
                return finish(completion, std::make_shared<JsonError>(decodeError));
            }
            completion(Received{std::move(message), nullptr});
        });
    });
}

} // namespace tessik::SyncWireCodec
