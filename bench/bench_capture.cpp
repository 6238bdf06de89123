// Costs of capture: an idle poll (the pasteboard did not change), and the
// way from a copy to a stored clip through the in-memory pasteboard, for a
// 1 KiB text and a 4 MiB PNG (image write and thumbnail included).
#include "BenchMain.h"
#include "capture/ClipCaptureService.h"
#include "platform/InMemoryPasteboard.h"
#include "platform/QtPasteboard.h"
#include "store/ClipStore.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace tessik;
using Content = InMemoryPasteboard::Content;

namespace {

struct Fixture {
    QTemporaryDir dir;
    TimePoint clock = 1'800'000'000.0;
    std::shared_ptr<ClipStore> store;
    InMemoryPasteboard pasteboard;
    std::unique_ptr<ClipCaptureService> service;

    Fixture() {
        // Every capture 61 s after the last: the same bytes are never a duplicate.
        store = std::make_shared<ClipStore>(dir.filePath(QStringLiteral("clips.sqlite")), 1000,
                                            QList<Migration>{}, [this] { return clock += 61; });
        service = std::make_unique<ClipCaptureService>(store, pasteboard, 0.35, dir.path());
    }
};

// Noise compresses badly: about 4 MiB of PNG.
QByteArray noisePng() {
    QImage image(1184, 1184, QImage::Format_RGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = 0xff000000u | (random.generate() & 0xffffffu);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG", 0);
    return bytes;
}

void BM_IdlePollInMemory(benchmark::State& state) {
    InMemoryPasteboard pasteboard;
    PasteboardMonitor monitor(pasteboard);
    int captured = 0;
    monitor.onCapture = [&](const CapturedClip&) { ++captured; };
    for (auto _ : state) {
        monitor.poll();
    }
    if (captured != 0) {
        state.SkipWithError("an idle poll captured something");
    }
}
BENCHMARK(BM_IdlePollInMemory);

void BM_IdlePollQtClipboard(benchmark::State& state) {
    QtPasteboard pasteboard;
    PasteboardMonitor monitor(pasteboard);
    for (auto _ : state) {
        monitor.poll();
    }
}
BENCHMARK(BM_IdlePollQtClipboard);

void BM_TextCopyToStored(benchmark::State& state) {
    Fixture fixture;
    const QString base(1024 - 16, QLatin1Char('x'));
    qint64 i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QByteArray text = (base + QStringLiteral("%1").arg(++i, 16, 10, QLatin1Char('0'))).toUtf8();
        state.ResumeTiming();
        fixture.pasteboard.copyFromOtherProgram(
            Content{{PasteboardItem{{PasteboardType::utf8PlainText, text}}}, {}, std::nullopt});
        fixture.service->monitor().poll();
    }
    state.SetBytesProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_TextCopyToStored)->Unit(benchmark::kMicrosecond);

void BM_PngCopyToStored(benchmark::State& state) {
    Fixture fixture;
    const QByteArray png = noisePng();
    state.counters["pngBytes"] = static_cast<double>(png.size());
    for (auto _ : state) {
        fixture.pasteboard.copyFromOtherProgram(
            Content{{PasteboardItem{{PasteboardType::png, png}}}, {}, std::nullopt});
        fixture.service->monitor().poll();
    }
}
BENCHMARK(BM_PngCopyToStored)->Unit(benchmark::kMillisecond)->Iterations(8);

} // namespace

int main(int argc, char** argv) {
    // Own folders (the device id is saved in the config folder) and no display needed.
    PrivateXdgFolders folders;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
