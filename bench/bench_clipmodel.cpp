// Hashing and previews over small and very large contents.
#include "capture/ClipItem.h"
#include "capture/ContentHasher.h"

#include <benchmark/benchmark.h>

using namespace tessik;

namespace {

void BM_HashData(benchmark::State& state) {
    const QByteArray data(state.range(0), 'x');
    for (auto _ : state) {
        benchmark::DoNotOptimize(ContentHasher::hash(data));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_HashData)->Arg(1 << 10)->Arg(64 << 20)->Unit(benchmark::kMicrosecond);

void BM_HashText(benchmark::State& state) {
    const QString text(state.range(0), QChar(0x4E2D));  // three UTF-8 bytes each
    for (auto _ : state) {
        benchmark::DoNotOptimize(ContentHasher::hash(text));
    }
}
BENCHMARK(BM_HashText)->Arg(1 << 10)->Unit(benchmark::kMicrosecond);

void BM_ShortPreview(benchmark::State& state) {
    ClipItem item;
    item.plainText = QString(state.range(0), QLatin1Char('a'));
    for (auto _ : state) {
        benchmark::DoNotOptimize(item.shortPreview());
    }
}
// 100 MiB of text must not cost more than a short one.
BENCHMARK(BM_ShortPreview)->Arg(200)->Arg(100 << 20)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
