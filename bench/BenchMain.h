#pragma once

// The entry point of every benchmark: the regional settings pinned to Polish, Poland, as in the
// tests, and no display needed where the application is a graphical one.
#include <QLocale>
#include <QtGlobal>
#include <benchmark/benchmark.h>

namespace kwbench {

template <class Application>
int runBenchmarks(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace kwbench
