// Request-to-reply times of the sync service over loopback, measured from a
// plain client socket against an engine running on its own thread.
#include "capture/CapturedClip.h"
#include "platform/AppPaths.h"
#include "store/ClipStore.h"
#include "sync/SyncConstants.h"
#include "sync/SyncEngine.h"
#include "sync/SyncWireCodec.h"
#include "sync/transport/InProcessDiscovery.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <benchmark/benchmark.h>

using namespace tessik;
using M = SyncMessage;

namespace {

ClipItem textClip(int i, qsizetype length = 60) {
    const CapturedClip captured =
        CapturedClip::fromText(QStringLiteral("clip %1 ").arg(i) + QString(length, QLatin1Char('x')));
    return ClipItem{QUuid::createUuid(), 1'700'000'000.0 + i, QStringLiteral("BENCH"),
                    captured.contentType, captured.plainText, std::nullopt, std::nullopt,
                    std::nullopt, std::nullopt, std::nullopt, false, captured.contentHash,
                    captured.byteSize};
}

struct Service {
    QTemporaryDir dir;
    std::unique_ptr<SyncPeerStore> peers;
    std::shared_ptr<ClipStore> store;
    std::unique_ptr<SyncEngine> engine;
    QTcpSocket socket;
    QByteArray buffer;

    explicit Service(const std::function<void(ClipStore&)>& fill) {
        peers = std::make_unique<SyncPeerStore>(dir.filePath(QStringLiteral("sync-config.json")));
        store = std::make_shared<ClipStore>(dir.filePath(QStringLiteral("clips.sqlite")), 100000);
        fill(*store);
        SyncEngine::Options options;
        options.discovery = std::make_shared<net::InProcessDiscovery>();
        options.peerStore = peers.get();
        options.deviceId = [] { return QStringLiteral("BENCH-DEVICE"); };
        engine = std::make_unique<SyncEngine>(options);
        engine->configure(store);
        engine->start(false);
        quint16 port = 0;
        while ((port = engine->listeningPort()) == 0) {
            QThread::msleep(5);
        }
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(5000);
    }

    // Sends a request and reads the whole reply frame.
    qsizetype exchange(const QByteArray& frame) {
        socket.write(frame);
        socket.flush();
        for (;;) {
            if (buffer.size() >= 4) {
                const qsizetype total = 4 + qFromBigEndian<quint32>(buffer.constData());
                if (buffer.size() >= total) {
                    buffer.remove(0, total);
                    return total;
                }
            }
            if (!socket.waitForReadyRead(30000)) {
                return -1;
            }
            buffer.append(socket.readAll());
        }
    }
};

void BM_Health(benchmark::State& state) {
    Service service([](ClipStore&) {});
    const QByteArray frame = SyncWireCodec::frame(M{M::Health{}});
    for (auto _ : state) {
        benchmark::DoNotOptimize(service.exchange(frame));
    }
}
BENCHMARK(BM_Health)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Push1KiB(benchmark::State& state) {
    Service service([](ClipStore&) {});
    int i = 0;
    for (auto _ : state) {
        const QByteArray frame = SyncWireCodec::frame(
            M{M::PushRequest{SyncClipPayload{textClip(i++, 1000), {}, {}, {}}, SyncConstants::lanTrustToken}});
        benchmark::DoNotOptimize(service.exchange(frame));
    }
}
BENCHMARK(BM_Push1KiB)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Pull500TextClips(benchmark::State& state) {
    Service service([](ClipStore& store) {
        store.dbQueue().write([&](sqlite::Connection&) {
            for (int i = 0; i < 500; ++i) {
                store.upsertFromSync(textClip(i));
            }
        });
    });
    const QByteArray frame = SyncWireCodec::frame(M{M::PullRequest{0, SyncConstants::lanTrustToken}});
    for (auto _ : state) {
        benchmark::DoNotOptimize(service.exchange(frame));
    }
}
BENCHMARK(BM_Pull500TextClips)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pull10MiBImage(benchmark::State& state) {
    Service service([](ClipStore& store) {
        ClipItem item = textClip(0);
        item.contentType = ContentType::image;
        item.imagePath = QStringLiteral("bench-image.png");
        QFile file(AppPaths::attachmentsDirectory() + QStringLiteral("/bench-image.png"));
        file.open(QIODevice::WriteOnly);
        QByteArray bytes(10 << 20, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            bytes[i] = char((i * 2654435761u) >> 24);
        }
        file.write(bytes);
        file.close();
        store.upsertFromSync(item);
    });
    const QByteArray frame = SyncWireCodec::frame(M{M::PullRequest{0, SyncConstants::lanTrustToken}});
    for (auto _ : state) {
        benchmark::DoNotOptimize(service.exchange(frame));
    }
}
BENCHMARK(BM_Pull10MiBImage)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;  // attachments of the benchmark go here, not to the user's folder
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
