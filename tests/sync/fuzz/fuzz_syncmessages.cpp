// libFuzzer target: arbitrary bytes read as a stream of frames, as one
// message body and as a favourite snapshot must never crash, hang or leak.
#include "sync/SyncClipPayload.h"
#include "sync/SyncMessage.h"
#include "sync/SyncWireCodec.h"

#include <cstddef>
#include <cstdint>

using namespace tessik;

namespace {

void decode(const QByteArray& body) {
    try {
        const SyncMessage message = SyncMessage::decode(body);
        // What was read must be writable and read back the same.
        if (!(SyncMessage::decode(message.encode()).caseName() == message.caseName())) {
            __builtin_trap();
        }
    } catch (const JsonError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    decode(bytes);

    qsizetype at = 0;
    while (at + 4 <= bytes.size()) {
        const std::optional<quint32> length = SyncWireCodec::bodyLength(QByteArrayView(bytes).sliced(at, 4));
        if (!length || at + 4 + qsizetype(*length) > bytes.size()) {
            break;
        }
        decode(bytes.mid(at + 4, *length));
        at += 4 + *length;
    }

    try {
        SyncClipPayload::fromSnapshotData(bytes);
    } catch (const JsonError&) {
    }
    return 0;
}
