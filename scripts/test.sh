#!/usr/bin/env bash
# Installs everything the build, the tests, the benchmarks and the Debian package need (both lists
# of scripts/packages.sh), builds everything and runs every test headless.
# SANITIZE=1 builds a separate tree with AddressSanitizer and UndefinedBehaviorSanitizer (GCC's), and
# also installs clang for building the fuzz targets with libFuzzer (-DKWOTNIK_FUZZ=ON, CXX=clang++).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ "${SANITIZE:-0}" = 1 ]; then
  build="$here/build-asan"
  BUILD_TYPE=Debug "$here/scripts/setup.sh" "$build" "RUN TEST SANITIZE" -- -DKWOTNIK_TESTS=ON -DKWOTNIK_SANITIZE=ON
else
  build="$here/build"
  "$here/scripts/setup.sh" "$build" "RUN TEST" -- -DKWOTNIK_TESTS=ON
fi
export QT_QPA_PLATFORM=offscreen
export LANG=pl_PL.UTF-8 LC_ALL=pl_PL.UTF-8
cd "$build"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
