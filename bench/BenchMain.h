#pragma once

// What the benchmark programs that need a Qt application share: their own
// XDG folders (the device id and preferences live in the config folder) and
// Google Benchmark's run.
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

class PrivateXdgFolders {
public:
    PrivateXdgFolders() {
        qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_RUNTIME_DIR", m_home.path().toUtf8());
    }

private:
    QTemporaryDir m_home;
};

// Runs the benchmarks the arguments select; 1 for arguments it does not know.
inline int runBenchmarks(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
