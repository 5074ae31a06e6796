#pragma once

#include <QApplication>
#include <benchmark/benchmark.h>

// The main() of the benchmarks that paint views or drive controllers: a QApplication (offscreen
// unless a platform is named) around Google Benchmark's own run.
inline int runQtBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
