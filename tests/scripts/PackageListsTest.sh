#!/usr/bin/env bash
# The two set-ups keep apart: scripts/run.sh installs the run-time list alone and scripts/test.sh
# both; no package that serves only tests, benchmarks, fuzzing or packaging is in the run-time list;
# and every library the built program and companion load comes from a package the run-time list
# brings in (when a build folder is given and the package database can tell).
# Usage: PackageListsTest.sh SOURCE_DIR [BUILD_DIR]
set -uo pipefail
src=$(cd "$1" && pwd)
build=${2:-}
fail=0
complain() { echo "FAIL: $*" >&2; fail=1; }

# shellcheck source=../../scripts/packages.sh
. "$src/scripts/packages.sh"
[ ${#RUN_PACKAGES[@]} -gt 0 ] && [ ${#TEST_PACKAGES[@]} -gt 0 ] || complain "a package list is empty"

twice=$(printf '%s\n' "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${SANITIZE_PACKAGES[@]}" | sort | uniq -d)
[ -z "$twice" ] || complain "in more than one list: $twice"

# What the tests and the tools around them use; none of it is needed to build or run the program.
test_only='^(clang|clang-[0-9]+|libclang.*|lld.*|llvm.*|gdb|valgrind|strace|ltrace|xvfb|xauth|locales|'
test_only+='libgtest-dev|libgmock-dev|googletest|libbenchmark-dev|python3.*|libreoffice.*|unrtf|enscript|'
test_only+='latex2rtf|cups|cups-.*|printer-driver-.*|poppler-utils|shapelib|libshp-dev|graphviz|appstream|'
test_only+='dpkg-dev|lintian|fakeroot)$'
for p in "${RUN_PACKAGES[@]}"; do
  [[ $p =~ $test_only ]] && complain "$p serves only the tests but is in the run-time list"
done

# The scripts install what their comments say: run.sh the run-time list and only the two programs.
grep -Eq 'setup\.sh"? "\$build" RUN kwotnik kwotnik-ledger' "$src/scripts/run.sh" ||
  complain "run.sh does not set up the run-time list with the two programs alone"
grep -Eq 'setup\.sh"? "\$build" "RUN TEST"' "$src/scripts/test.sh" || complain "test.sh does not install both lists"
grep -Eq '"RUN TEST SANITIZE"' "$src/scripts/test.sh" || complain "SANITIZE=1 does not install its list"

# The libraries the built programs load come with the run-time list.
if [ -n "$build" ] && [ -x "$build/kwotnik" ] && command -v apt-cache >/dev/null; then
  closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
              --no-replaces --no-enhances "${RUN_PACKAGES[@]}" 2>/dev/null | grep -v '^ ' | sed 's/:.*//' | sort -u)
  if [ -n "$closure" ]; then
    libs=$(ldd "$build/kwotnik" "$build/kwotnik-ledger" | awk '$3 ~ /^\// {print $3}' | grep -vF "$build/" | sort -u)
    # dpkg knows a file by the path its package ships it under: /lib or /usr/lib, link or target.
    owners=$(for lib in $libs; do
               real=$(readlink -f "$lib")
               printf '%s\n' "$lib" "$real" "/usr${lib#/usr}" "${real#/usr}"
             done | sort -u | xargs dpkg -S 2>/dev/null)
    for lib in $libs; do
      real=$(readlink -f "$lib")
      owner=$(awk -v a="$lib" -v b="$real" -v c="${lib#/usr}" -v d="${real#/usr}" \
                  '{p = $NF} p == a || p == b || p == c || p == d || p == "/usr" c || p == "/usr" d {sub(/:.*/, "", $1); print $1; exit}' <<<"$owners")
      if [ -z "$owner" ]; then
        complain "$lib belongs to no package"
      elif ! grep -qx "$owner" <<<"$closure"; then
        complain "$lib ($owner) is not brought in by the run-time list"
      fi
    done
  fi
fi
exit $fail
