#!/usr/bin/env bash
# `cmake --install` into a scratch prefix must give a working program: its files where a desktop
# looks for them and nothing else, the companion running from there, the program starting, and the
# help found by a program in that tree's bin/ folder with no other copy anywhere it looks.
# Usage: InstallTest.sh BUILD_DIR HELP_PROBE
set -uo pipefail
build=$1
probe=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"
fail=0
complain() { echo "FAIL: $*" >&2; fail=1; }

cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 || {
  cat "$scratch/install.log" >&2
  complain "cmake --install failed"
  exit 1
}

expected=(bin/kwotnik bin/kwotnik-ledger share/kwotnik/POMOC.HLP share/applications/kwotnik.desktop
          share/icons/hicolor/scalable/apps/kwotnik.svg share/metainfo/net.kwotnik.Kwotnik.metainfo.xml)
for size in 16 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/kwotnik.png"); done
for f in "${expected[@]}"; do [ -s "$prefix/$f" ] || complain "not installed: $f"; done
for f in bin/kwotnik bin/kwotnik-ledger; do [ -x "$prefix/$f" ] || complain "not executable: $f"; done
# The program's own shared libraries, private to it, in lib/kwotnik (lib/<triplet>/kwotnik under /usr).
libs=$(cd "$prefix" && find . -path '*/kwotnik/libkw_*.so' -printf '%P\n' | sort)
[ -n "$libs" ] || complain "no library of the program installed"
for f in $libs; do
  case $f in lib/kwotnik/* | lib/*/kwotnik/*) ;; *) complain "library outside lib/kwotnik: $f" ;; esac
done
# Tests, benchmarks and their helpers stay in the build tree.
extra=$(cd "$prefix" && find . -type f -printf '%P\n' | sort | comm -23 - <(printf '%s\n' "${expected[@]}" $libs | sort))
[ -z "$extra" ] || complain "installed but not part of the program: $extra"
# Each program and library finds the program's libraries in the installed tree, never in the build.
for f in bin/kwotnik bin/kwotnik-ledger $libs; do
  resolved=$(ldd "$prefix/$f" 2>&1)
  grep -q 'not found' <<<"$resolved" && complain "$f: a library is not found: $resolved"
  grep 'libkw_' <<<"$resolved" | grep -vqF "$prefix/" && complain "$f: takes a library from outside the tree: $resolved"
  readelf -d "$prefix/$f" | grep -qF "$build" && complain "$f: its search path names the build folder"
done
cmp -s "$prefix/share/kwotnik/POMOC.HLP" "$(dirname "$0")/../../data/POMOC.HLP" || complain "POMOC.HLP differs from data/"
grep -q '^Icon=kwotnik$' "$prefix/share/applications/kwotnik.desktop" || complain "desktop file names another icon"

# The companion from the installed tree writes the tables the program works on.
work="$scratch/work"
"$prefix/bin/kwotnik-ledger" init "$work" >/dev/null || complain "installed kwotnik-ledger init failed"
for t in Wydatki.dbf Suma.dbf Sum.DBF; do [ -s "$work/$t" ] || complain "kwotnik-ledger init wrote no $t"; done
"$prefix/bin/kwotnik-ledger" verify "$work" >/dev/null || complain "installed kwotnik-ledger verify failed"

# No help anywhere but in the installed tree: not in the working directory, not in the user's or the
# system's data folders.
export HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/.local/share" XDG_DATA_DIRS="$scratch/none"
mkdir -p "$HOME"
cp "$probe" "$prefix/bin/" || complain "cannot place the help probe"
(cd "$work" && KW_EXPECTED_HELP="$prefix/share/kwotnik/POMOC.HLP" "$prefix/bin/$(basename "$probe")") ||
  complain "the installed tree's help was not found"
rm -f "$prefix/bin/$(basename "$probe")"

# The program starts from the installed tree and keeps running until it is stopped.
(cd "$work" && timeout 5 "$prefix/bin/kwotnik" >"$scratch/run.log" 2>&1)
rc=$?
[ "$rc" -eq 124 ] || { cat "$scratch/run.log" >&2; complain "installed kwotnik ended by itself (status $rc)"; }

exit $fail
