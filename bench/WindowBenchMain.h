#pragma once

// The entry point of the benchmarks that drive the program's windows: no display is needed, and
// the regional settings are pinned to Polish, Poland, as in the tests.
#include <QApplication>
#include <QLocale>
#include <benchmark/benchmark.h>

namespace kwbench {

inline int runWindowBenchmarks(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace kwbench
