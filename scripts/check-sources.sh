#!/usr/bin/env bash
# Every source, header, resource and CMake file must be named in the CMakeLists.txt of its own
# folder, and every folder holding one must be added by the nearest CMakeLists.txt above it: the
# build lists its files by name, so a file nobody listed would silently drop out of it.
# Usage: check-sources.sh [SOURCE_DIR]; prints each file or folder left out and exits 1 if any.
set -uo pipefail
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cd "$root" || exit 2
status=0

# A name counts as listed when it stands as a word of its own: a file name, or the end of a path.
names_in() { # FILE NAME
  local name=${2//./\\.}
  grep -Eq "(^|[[:space:]/\"(])${name}([[:space:]\")]|$)" "$1"
}

folders=(app cli dialogs framework ledger import reports tools tests fuzz bench)
while IFS= read -r file; do
  dir=$(dirname "$file")
  base=$(basename "$file")
  [ "$base" = CMakeLists.txt ] && continue
  if [ ! -f "$dir/CMakeLists.txt" ]; then
    echo "$file: its folder has no CMakeLists.txt"
    status=1
  elif ! names_in "$dir/CMakeLists.txt" "$base"; then
    echo "$file: not listed in $dir/CMakeLists.txt"
    status=1
  fi
done < <(find "${folders[@]}" \( -name corpus -o -name pictures \) -prune -o -type f \
              \( -name '*.cpp' -o -name '*.h' -o -name '*.qrc' -o -name '*.cmake' \) -print | sort)

while IFS= read -r list; do
  dir=$(dirname "$list")
  parent=$(dirname "$dir")
  while [ "$parent" != . ] && [ ! -f "$parent/CMakeLists.txt" ]; do parent=$(dirname "$parent"); done
  sub=${dir#"$parent"/}
  [ "$parent" = . ] && sub=$dir
  if ! grep -Eq "add_subdirectory\(${sub//./\\.}[[:space:])]" "$parent/CMakeLists.txt"; then
    echo "$dir: not added by add_subdirectory($sub) in $parent/CMakeLists.txt"
    status=1
  fi
done < <(find "${folders[@]}" -name CMakeLists.txt | sort)

exit $status
