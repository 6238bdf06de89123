// Encoding and decoding the largest messages devices exchange: a pull
// response of 500 text clips and a push of one clip with a 10 MiB image.
#include "capture/CapturedClip.h"
#include "sync/SyncMessage.h"

#include <QRandomGenerator>

#include <benchmark/benchmark.h>

using namespace tessik;

namespace {

ClipItem textClip(int i) {
    const CapturedClip captured = CapturedClip::fromText(
        QStringLiteral("clip %1: https://example.com/path 同步的文本内容 with some words").arg(i));
    return ClipItem{QUuid::createUuid(), 1'733'918'400.0 + i, QStringLiteral("DEVICE"),
                    captured.contentType, captured.plainText, std::nullopt, std::nullopt,
                    std::nullopt, std::nullopt, std::nullopt, false, captured.contentHash,
                    captured.byteSize};
}

SyncMessage pullResponse() {
    SyncMessage::PullResponse response;
    for (int i = 0; i < 500; ++i) {
        response.clips.append(SyncClipPayload{textClip(i), {}, {}, {}});
    }
    return SyncMessage{response};
}

SyncMessage imagePush() {
    QByteArray image(10 << 20, Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32*>(image.data()), image.size() / 4);
    ClipItem item = textClip(0);
    item.contentType = ContentType::image;
    item.plainText.reset();
    item.imagePath = QStringLiteral("IMAGE.png");
    return SyncMessage{SyncMessage::PushRequest{SyncClipPayload{item, {}, image, {}},
                                                QStringLiteral("token")}};
}

void BM_EncodePullResponse500(benchmark::State& state) {
    const SyncMessage message = pullResponse();
    for (auto _ : state) {
        benchmark::DoNotOptimize(message.encode());
    }
}
BENCHMARK(BM_EncodePullResponse500)->Unit(benchmark::kMillisecond);

void BM_DecodePullResponse500(benchmark::State& state) {
    const QByteArray json = pullResponse().encode();
    for (auto _ : state) {
        benchmark::DoNotOptimize(SyncMessage::decode(json));
    }
}
BENCHMARK(BM_DecodePullResponse500)->Unit(benchmark::kMillisecond);

void BM_EncodeImagePush10MiB(benchmark::State& state) {
    const SyncMessage message = imagePush();
    for (auto _ : state) {
        benchmark::DoNotOptimize(message.encode());
    }
    state.SetBytesProcessed(state.iterations() * (10 << 20));
}
BENCHMARK(BM_EncodeImagePush10MiB)->Unit(benchmark::kMillisecond);

void BM_DecodeImagePush10MiB(benchmark::State& state) {
    const QByteArray json = imagePush().encode();
    for (auto _ : state) {
        benchmark::DoNotOptimize(SyncMessage::decode(json));
    }
    state.SetBytesProcessed(state.iterations() * (10 << 20));
}
BENCHMARK(BM_DecodeImagePush10MiB)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
