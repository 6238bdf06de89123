// Costs of the state controller: reload of the 200-clip history list, for
// short texts and for 200 texts of 1 MiB each (a reload shares the texts of
// the clips already listed; the first load reads them all), and one
// attachment sweep over a full history. Peak RSS of the process is reported as the counter
// "peak_rss_MiB"; run the 1 MiB case on its own to read its peak:
//     bench_appstate --benchmark_filter=Reload/1048576
#include "BenchMain.h"
#include "app/AttachmentJanitor.h"
#include "app/IOSAppState.h"
#include "capture/ContentHasher.h"
#include "platform/InMemoryPasteboard.h"
#include "platform/NotificationCenter.h"
#include "platform/Uuid.h"
#include "store/ClipStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <memory>

using namespace tessik;

namespace {

double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

struct Fixture {
    QTemporaryDir dir;
    TimePoint clock = 1'800'000'000.0;
    std::shared_ptr<ClipStore> store;
    InMemoryPasteboard pasteboard;

    Fixture(int clips, qsizetype textBytes, int attachments = 0) {
        store = std::make_shared<ClipStore>(dir.filePath(QStringLiteral("clips.sqlite")), 1000,
                                            QList<Migration>{}, [this] { return clock; });
        QDir(dir.path()).mkpath(QStringLiteral("attachments"));
        for (int i = 0; i < clips; ++i) {
            clock += 61;
            QString text = QStringLiteral("clip %1 ").arg(i);
            text += QString(textBytes - text.size(), QLatin1Char('x'));
            std::optional<QString> image;
            if (i < attachments) {
                image = uuidText(QUuid::createUuid()) + QStringLiteral(".png");
                QFile file(dir.filePath(QStringLiteral("attachments/") + *image));
                file.open(QIODevice::WriteOnly);
                file.write("png");
            }
            store->insert(ClipItem{QUuid::createUuid(), clock, QStringLiteral("BENCH-DEVICE"),
                                   image ? ContentType::image : ContentType::plainText, text,
                                   std::nullopt, image, std::nullopt, std::nullopt, std::nullopt, false,
                                   ContentHasher::hash(text), text.size()});
        }
    }

    std::unique_ptr<IOSAppState> state() {
        IOSAppState::Options options;
        options.pasteboard = &pasteboard;
        options.attachmentsDir = dir.filePath(QStringLiteral("attachments"));
        return std::make_unique<IOSAppState>(store, options);
    }
};

// Argument: bytes of each of the 200 texts.
void BM_Reload(benchmark::State& state) {
    Fixture fixture(IOSAppState::kListLimit, state.range(0));
    const auto controller = fixture.state();
    for (auto _ : state) {
        controller->reload();
        benchmark::DoNotOptimize(controller->clips().size());
    }
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_Reload)->Arg(64)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// The first load (nothing held yet): every text is read.
void BM_FirstLoad(benchmark::State& state) {
    Fixture fixture(IOSAppState::kListLimit, state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(fixture.store->fetchRecent(IOSAppState::kListLimit, {}).size());
    }
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_FirstLoad)->Arg(64)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// A history of 1000 clips naming 1000 files, plus 1000 files left behind.
void BM_AttachmentSweep(benchmark::State& state) {
    Fixture fixture(1000, 64, 1000);
    const QString folder = fixture.dir.filePath(QStringLiteral("attachments"));
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 1000; ++i) {
            QFile file(folder + QStringLiteral("/orphan-%1.png").arg(i));
            file.open(QIODevice::WriteOnly);
            file.write("png");
        }
        state.ResumeTiming();
        // Everything counts as old: all 2000 files are considered.
        benchmark::DoNotOptimize(
            AttachmentJanitor::sweep(*fixture.store, folder, fixture.clock + 3600.0 * 24 * 365));
    }
}
BENCHMARK(BM_AttachmentSweep)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    PrivateXdgFolders folders;  // the controller reads its preferences
    // The controller's capture timer wants an event loop's thread.
    QCoreApplication app(argc, argv);
    NotificationCenter::defaultCenter();
    return runBenchmarks(argc, argv);
}
