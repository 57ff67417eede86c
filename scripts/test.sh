#!/usr/bin/env bash
# Builds everything and runs every test headless.
# SANITIZE=1 builds a separate tree with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ "${SANITIZE:-0}" = 1 ]; then
  build="$here/build-asan"
  BUILD_TYPE=Debug "$here/scripts/setup.sh" "$build" -DKWOTNIK_SANITIZE=ON
else
  build="$here/build"
  "$here/scripts/setup.sh" "$build"
fi
export QT_QPA_PLATFORM=offscreen
export LANG=pl_PL.UTF-8 LC_ALL=pl_PL.UTF-8
cd "$build"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
