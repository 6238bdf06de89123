// Copy-to-arrival latency between two devices on loopback: two headless
// tessik processes, each with its own data folders and X display, finding
// each other from a static list. Each iteration copies a new text with xclip
// on the first display and times how long until it is stored on the first
// device (capture: mostly the 0.35 s poll) and on the second (arrival).
#include "store/ClipStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace tessik;

namespace {

QString binDir() {
    return QCoreApplication::applicationDirPath();
}

int freeDisplay() {
    for (int n = 90; n < 200; ++n) {
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) &&
            !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
            return n;
        }
    }
    return -1;
}

quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

struct Device {
    QString root;
    int display = -1;
    quint16 port = 0;
    std::unique_ptr<QProcess> xvfb;
    std::unique_ptr<QProcess> tessik;

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
        return env;
    }

    void cli(const QStringList& args) const {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(binDir() + QStringLiteral("/tessik-cli"), args);
        process.waitForFinished(10000);
    }

    bool start(const QString& name, const QString& peer, quint16 peerPort) {
        display = freeDisplay();
        xvfb = std::make_unique<QProcess>();
        xvfb->start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(display), QStringLiteral("-nolisten"),
                                             QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                             QStringLiteral("640x480x24")});
        for (int i = 0; i < 100 && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)); ++i) {
            QThread::msleep(50);
        }
        cli({QStringLiteral("sync"), QStringLiteral("enable")});
        cli({QStringLiteral("sync"), QStringLiteral("name"), name});
        tessik = std::make_unique<QProcess>();
        tessik->setProcessEnvironment(environment());
        tessik->start(binDir() + QStringLiteral("/tessik"),
                      {QStringLiteral("--headless"), QStringLiteral("--sync-port"), QString::number(port),
                       QStringLiteral("--peer"), QStringLiteral("%1@127.0.0.1:%2").arg(peer).arg(peerPort)});
        return tessik->waitForStarted(10000);
    }

    void stop() {
        for (auto* process : {tessik.get(), xvfb.get()}) {
            if (process && process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(10000)) {
                    process->kill();
                    process->waitForFinished(5000);
                }
            }
        }
    }

    bool holds(const QString& text) const {
        ClipStore store(root + QStringLiteral("/data/tessik/clips.sqlite"), 1000);
        return !store.search(text, 1).isEmpty();
    }
};

void BM_CopyToArrival(benchmark::State& state) {
    QTemporaryDir dir;
    Device a, b;
    a.root = dir.filePath(QStringLiteral("a"));
    b.root = dir.filePath(QStringLiteral("b"));
    a.port = freePort();
    b.port = freePort();
    if (!a.start(QStringLiteral("BenchA"), QStringLiteral("BenchB"), b.port) ||
        !b.start(QStringLiteral("BenchB"), QStringLiteral("BenchA"), a.port)) {
        state.SkipWithError("the devices did not start");
        return;
    }
    QThread::msleep(1500);  // both listening and synced once
    std::vector<double> captured, arrivals, transfers;
    int n = 0;
    for (auto _ : state) {
        const QString text = QStringLiteral("arrival probe %1 %2").arg(n++).arg(QDateTime::currentMSecsSinceEpoch());
        QProcess xclip;
        xclip.setProcessEnvironment(a.environment());
        QElapsedTimer timer;
        timer.start();
        xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                             QStringLiteral("-loops"), QStringLiteral("1")});
        // No event loop runs here: wait for the text to reach xclip before
        // closing its input, or it never sees the end of it.
        xclip.waitForStarted(5000);
        xclip.write(text.toUtf8());
        xclip.waitForBytesWritten(5000);
        xclip.closeWriteChannel();
        double capturedAt = -1;
        while (timer.elapsed() < 15000) {
            if (capturedAt < 0 && a.holds(text)) {
                capturedAt = timer.nsecsElapsed() / 1e9;
            }
            if (b.holds(text)) {
                break;
            }
            QThread::msleep(5);
        }
        const double arrived = timer.nsecsElapsed() / 1e9;
        state.SetIterationTime(arrived);
        captured.push_back(capturedAt);
        arrivals.push_back(arrived);
        transfers.push_back(arrived - capturedAt);
        xclip.waitForFinished(2000);
        if (xclip.state() != QProcess::NotRunning) {
            xclip.kill();
            xclip.waitForFinished(2000);
        }
        if (arrived >= 15) {
            state.SkipWithError("a copy did not arrive within 15 s");
            break;
        }
    }
    // Medians of the three legs: copy to stored here (the poll), stored here
    // to stored there (the push), and the whole way.
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0.0 : values[values.size() / 2] * 1000;
    };
    state.counters["capture_median_ms"] = median(captured);
    state.counters["transfer_median_ms"] = median(transfers);
    state.counters["arrival_median_ms"] = median(arrivals);
    a.stop();
    b.stop();
}
BENCHMARK(BM_CopyToArrival)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
