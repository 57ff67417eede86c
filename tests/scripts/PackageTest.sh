#!/usr/bin/env bash
# The Debian package made from the build: its name, metadata and contents, and, unpacked into a
# scratch root with dpkg -x, the companion running from there and the help found in that root.
# Usage: PackageTest.sh BUILD_DIR HELP_PROBE; exits 77 (skipped) without dpkg-shlibdeps.
# About 15 s: CPack compresses the whole package and dpkg-shlibdeps reads every binary it holds.
set -uo pipefail
build=$(cd "$1" && pwd)
probe=$2
command -v dpkg-shlibdeps >/dev/null || { echo "dpkg-dev is not installed"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail=0
complain() { echo "FAIL: $*" >&2; fail=1; }

(cd "$scratch" && cpack -G DEB -B "$scratch/out" --config "$build/CPackConfig.cmake") >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; complain "cpack failed"; exit 1; }
deb="$scratch/out/kwotnik_2.1-1_amd64.deb"
[ -s "$deb" ] || { ls -R "$scratch/out" >&2; complain "no kwotnik_2.1-1_amd64.deb"; exit 1; }

# Metadata: the dependencies come from the binaries, none of them on the program's own libraries.
info=$(dpkg-deb -I "$deb")
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kwotnik ] || complain "package name: $(field Package)"
[ "$(field Version)" = 2.1-1 ] || complain "version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || complain "architecture: $(field Architecture)"
depends=$(field Depends)
names=$(sed 's/, /\n/g' <<<"$depends" | awk '{print $1}')
for d in libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6printsupport6 qt6-qpa-plugins qt6-translations-l10n \
         fonts-liberation; do
  grep -qxF "$d" <<<"$names" || complain "Depends lacks $d: $depends"
done
grep -q 'kw_\|libkw' <<<"$depends" && complain "Depends names the program's own libraries: $depends"
grep -q '^ Description: ' <<<"$info" || complain "no description: $info"

# Contents: the programs, their private libraries, the help, the desktop entry, the icons and the
# AppStream file; nothing of the tests.
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
expected=(/usr/bin/kwotnik /usr/bin/kwotnik-ledger /usr/share/kwotnik/POMOC.HLP
          /usr/share/applications/kwotnik.desktop /usr/share/metainfo/net.kwotnik.Kwotnik.metainfo.xml
          /usr/share/icons/hicolor/scalable/apps/kwotnik.svg)
for size in 16 24 32 48 64 128 256; do expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/kwotnik.png"); done
for f in "${expected[@]}"; do grep -qx "$f" <<<"$contents" || complain "not in the package: $f"; done
grep -Eq '^/usr/lib/(.*/)?kwotnik/libkw_ledger\.so$' <<<"$contents" || complain "no private libkw_ledger.so"
grep -Eq 'test_|bench_|_replay|kw_pch|kw_test|/include/' <<<"$contents" &&
  complain "tests or build helpers in the package: $(grep -E 'test_|bench_|_replay|kw_pch|kw_test|/include/' <<<"$contents")"

# Unpacked into a scratch root: the companion runs from there on its own libraries, and a program
# in that root's bin/ finds the help of that root.
root="$scratch/root"
dpkg -x "$deb" "$root" || complain "dpkg -x failed"
ledger="$root/usr/bin/kwotnik-ledger"
ldd "$ledger" "$root/usr/bin/kwotnik" | grep -q 'not found' && complain "a library is not found: $(ldd "$ledger")"
ldd "$ledger" | grep 'libkw_' | grep -vqF "$root/" && complain "takes a library from outside the root: $(ldd "$ledger")"
"$ledger" --help | grep -q 'kwotnik-ledger' || complain "kwotnik-ledger --help printed no usage"
work="$scratch/work"
"$ledger" init "$work" >/dev/null && "$ledger" verify "$work" >/dev/null || complain "kwotnik-ledger init/verify failed"
export HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/.local/share" XDG_DATA_DIRS="$scratch/none"
mkdir -p "$HOME"
cp "$probe" "$root/usr/bin/" && (cd "$work" && KW_EXPECTED_HELP="$root/usr/share/kwotnik/POMOC.HLP" \
  "$root/usr/bin/$(basename "$probe")" >"$scratch/probe.log" 2>&1) ||
  { cat "$scratch/probe.log" >&2; complain "the help of the unpacked root was not found"; }
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/net.kwotnik.Kwotnik.metainfo.xml" >"$scratch/as.log" 2>&1 ||
    { cat "$scratch/as.log" >&2; complain "appstreamcli refuses the AppStream file"; }
fi
exit $fail
