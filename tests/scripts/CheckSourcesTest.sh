#!/usr/bin/env bash
# scripts/check-sources.sh on a copy of the tree: silent on the tree as it is, and it names each
# kind of file that would drop out of the build unseen.
# Usage: CheckSourcesTest.sh SOURCE_DIR
set -uo pipefail
src=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail=0
complain() { echo "FAIL: $*" >&2; fail=1; }

# The check reads only the build files and the names of the others, so the copy holds the build
# files and the check, and every other file as an empty one of the same name.
copy="$scratch/tree"
mkdir -p "$copy/scripts"
cp "$src/CMakeLists.txt" "$copy/"
cp "$src/scripts/check-sources.sh" "$copy/scripts/"
(cd "$src" && find app cli dialogs framework import ledger reports tools tests fuzz bench \( -name corpus -o -name pictures \) \
   -prune -o -type f -print 2>/dev/null) >"$scratch/files"
(cd "$src" && grep '/CMakeLists.txt$' "$scratch/files" | tar -c -T -) | tar -x -C "$copy"
(cd "$copy" && sed 's|/[^/]*$||' "$scratch/files" | sort -u | xargs mkdir -p &&
  grep -v '/CMakeLists.txt$' "$scratch/files" | xargs touch)
check() { "$copy/scripts/check-sources.sh" "$copy" 2>&1; }

out=$(check) || complain "the tree as it is was refused: $out"

# Each case on its own: the check must fail and name what was left out.
expect_named() { # WHAT NAME-IN-REPORT
  local out
  if out=$(check); then complain "$1 passed unnoticed"; fi
  grep -qF "$2" <<<"$out" || complain "$1: the report does not name $2: $out"
}

touch "$copy/ledger/Fresh.cpp"
expect_named "a source nobody listed" "ledger/Fresh.cpp"
rm "$copy/ledger/Fresh.cpp"

# A name that is only the tail of a listed one (Table.cpp) is not listed.
touch "$copy/ledger/able.cpp"
expect_named "a name inside a listed name" "ledger/able.cpp"
rm "$copy/ledger/able.cpp"

touch "$copy/tests/Old.cmake"
expect_named "a build fragment nothing includes" "tests/Old.cmake"
rm "$copy/tests/Old.cmake"

touch "$copy/tests/tools/Stray.h"
expect_named "a header in a folder without build file" "tests/tools/Stray.h"
rm "$copy/tests/tools/Stray.h"

mkdir -p "$copy/tools/extra"
echo 'add_library(kw_extra STATIC Extra.cpp)' >"$copy/tools/extra/CMakeLists.txt"
touch "$copy/tools/extra/Extra.cpp"
expect_named "a folder no build file adds" "tools/extra"
rm -r "$copy/tools/extra"

out=$(check) || complain "the restored copy was refused: $out"
exit $fail
