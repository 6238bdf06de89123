// Costs of the history store at the sizes the application meets: a full
// history of 1000 clips (the largest limit) and a large one of 100,000.
#include "capture/CapturedClip.h"
#include "store/ClipRecord.h"
#include "store/ClipStore.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace tessik;

namespace {

ClipItem clipAt(int i, TimePoint createdAt) {
    const CapturedClip captured = CapturedClip::fromText(
        QStringLiteral("clip %1: the quick brown fox jumps over the lazy dog 敏捷的棕色狐狸").arg(i));
    return ClipItem{QUuid::createUuid(), createdAt,  QStringLiteral("BENCH-DEVICE"),
                    captured.contentType, captured.plainText, std::nullopt,
                    std::nullopt,         std::nullopt,       std::nullopt,
                    std::nullopt,         i % 50 == 0,        captured.contentHash,
                    captured.byteSize};
}

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<ClipStore> store;
    TimePoint clock = 1'800'000'000.0;

    Fixture(int rows, int maxItems) {
        store = std::make_unique<ClipStore>(dir.filePath(QStringLiteral("clips.sqlite")), maxItems,
                                            QList<Migration>{}, [this] { return clock; });
        // Rows go in directly: the store's own insertion counts the table
        // each time, which would make building 100,000 rows quadratic.
        store->dbQueue().write([&](sqlite::Connection& db) {
            auto insert = db.prepare(QStringLiteral("INSERT INTO clip_items (%1) VALUES "
                                                    "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                                         .arg(ClipRecord::columnList()));
            auto text = db.prepare(
                QStringLiteral("INSERT INTO clip_items_fts(rowid, plainText) VALUES (?, ?)"));
            for (int i = 0; i < rows; ++i) {
                const ClipItem item = clipAt(i, 1'700'000'000.0 + i);
                ClipRecord::fromItem(item).bind(insert);
                insert.run();
                insert.reset();
                text.bind(1, db.lastInsertRowid()).bind(2, *item.plainText).run();
                text.reset();
            }
        });
    }
};

void BM_InsertAndPruneFullTable(benchmark::State& state) {
    Fixture fixture(1000, 1000);
    int i = 1000;
    for (auto _ : state) {
        fixture.clock += 61;  // never a duplicate
        benchmark::DoNotOptimize(fixture.store->insert(clipAt(i, fixture.clock)));
        ++i;
    }
}
BENCHMARK(BM_InsertAndPruneFullTable)->Unit(benchmark::kMicrosecond);

void BM_FetchRecent200(benchmark::State& state) {
    Fixture fixture(static_cast<int>(state.range(0)), 1'000'000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(fixture.store->fetchRecent(200));
    }
}
BENCHMARK(BM_FetchRecent200)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_Search(benchmark::State& state) {
    Fixture fixture(static_cast<int>(state.range(0)), 1'000'000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(fixture.store->search(QStringLiteral("brown FOX"), 200));
    }
}
BENCHMARK(BM_Search)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_SearchNoMatch(benchmark::State& state) {
    Fixture fixture(static_cast<int>(state.range(0)), 1'000'000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(fixture.store->search(QStringLiteral("无此内容"), 200));
    }
}
BENCHMARK(BM_SearchNoMatch)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_FetchSince500(benchmark::State& state) {
    Fixture fixture(100000, 1'000'000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(fixture.store->fetchSince(1'700'050'000.0, 500));
    }
}
BENCHMARK(BM_FetchSince500)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
