#!/usr/bin/env bash
# Installs the Debian packages of the lists named (RUN, TEST, SANITIZE; see scripts/packages.sh)
# that are missing, then configures and builds into the folder given.
# Usage: setup.sh BUILD_DIR "LISTS" [TARGET...] [-- CMAKE_ARGS...]; no target builds everything.
# Safe to run again: apt-get skips what is there, cmake and ninja rebuild only what changed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$1
lists=$2
shift 2
targets=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do targets+=("$1"); shift; done
[ $# -gt 0 ] && shift
# shellcheck source=packages.sh
. "$here/scripts/packages.sh"

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
packages=()
for list in $lists; do
  name="${list}_PACKAGES[@]"
  packages+=("${!name}")
done
missing=()
while IFS= read -r p; do missing+=("$p"); done < <(
  dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null | awk '$NF == "installed" {print $1}' |
    sort | comm -13 - <(printf '%s\n' "${packages[@]}" | sort -u))
if [ ${#missing[@]} -gt 0 ]; then
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Tests pin the user's regional settings to Polish; the C library needs the locale generated.
if [[ " $lists " == *" TEST "* ]] && ! locale -a 2>/dev/null | grep -qi '^pl_PL.utf8$'; then
  $sudo_cmd sed -i 's/^# *pl_PL.UTF-8 UTF-8/pl_PL.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^pl_PL.UTF-8 UTF-8' /etc/locale.gen || echo 'pl_PL.UTF-8 UTF-8' | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  $sudo_cmd locale-gen >/dev/null
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "${launcher[@]}" "$@" >/dev/null
jobs=${JOBS:-$(nproc)}
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$build" --parallel "$jobs" --target "${targets[@]}"
else
  cmake --build "$build" --parallel "$jobs"
fi
