#!/usr/bin/env bash
# Builds the Debian package kwotnik_2.1-1_amd64.deb into the folder given (default: the top of the
# tree): the program and kwotnik-ledger built for /usr, with the help file, the desktop entry, the
# icons and the AppStream file, the dependencies read from the binaries by dpkg-shlibdeps.
# Installs what building the program and the package needs (RUN_PACKAGES and dpkg-dev).
# Install the package with: sudo apt install ./kwotnik_2.1-1_amd64.deb
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$here}" && cd "${1:-$here}" && pwd)
build="$here/build-package"
command -v dpkg-shlibdeps >/dev/null || {
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends dpkg-dev
}
BUILD_TYPE=${BUILD_TYPE:-Release} "$here/scripts/setup.sh" "$build" RUN kwotnik kwotnik-ledger -- \
  -DKWOTNIK_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
echo "$out/kwotnik_2.1-1_amd64.deb"
