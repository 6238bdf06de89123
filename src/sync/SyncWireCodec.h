#pragma once

#include "sync/SyncMessage.h"
#include "sync/transport/Connection.h"

#include <functional>
#include <memory>
#include <optional>

namespace tessik::SyncWireCodec {

// Frames of the sync protocol: a 4-byte big-endian body length, then the
// JSON body of one message. Shared by every installation.

// The largest body a receiver accepts: 32 MiB.
inline constexpr quint32 maxFrameLength = 33'554'432;

// The body length a 4-byte prefix announces, or none when it is outside
// 1..maxFrameLength (or the prefix is not 4 bytes).
std::optional<quint32> bodyLength(QByteArrayView prefix);

// The whole frame of a message.
QByteArray frame(const SyncMessage& message);

using SendCompletion = std::function<void(const std::optional<net::NetworkError>&)>;
// Writes one frame; the completion (if any) runs once the bytes are written,
// with the error that stopped them if any. Runs on the connection's thread.
void send(const SyncMessage& message, net::Connection& connection, SendCompletion completion = {});

// The outcome of one receive: the message, or the error that ended it (a
// net::NetworkError, SyncError::invalidFrame, or the JSON decoding error).
struct Received {
    std::optional<SyncMessage> message;
    std::shared_ptr<const Error> error;
};
using ReceiveCompletion = std::function<void(const Received&)>;

// Reads exactly one frame. A length of 0 or above maxFrameLength fails at once,
// before any body is read; so does a stream that ends inside a frame. Bytes
// of a following frame stay on the connection for the next receive.
void receive(net::Connection& connection, ReceiveCompletion completion);

} // namespace tessik::SyncWireCodec
