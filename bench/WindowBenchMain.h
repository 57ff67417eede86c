#pragma once

// The entry point of the benchmarks that drive the program's windows.
#include "bench/BenchMain.h"

#include <QApplication>

namespace kwbench {

inline int runWindowBenchmarks(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}

} // namespace kwbench
