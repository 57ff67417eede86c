#!/usr/bin/env bash
# Every source, header, resource and CMake file must be named in the CMakeLists.txt of its own
# folder, and every folder holding one must be added by the nearest CMakeLists.txt above it: the
# build lists its files by name, so a file nobody listed would silently drop out of it.
# Usage: check-sources.sh [SOURCE_DIR]; prints each file or folder left out and exits 1 if any.
# One pass of the shell's own matching over build files read once: it runs on every test run.
set -uo pipefail
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cd "$root" || exit 2
status=0

folders=(app cli dialogs export framework import ledger reports tools tests fuzz bench)
present=()
for f in "${folders[@]}"; do [ -d "$f" ] && present+=("$f"); done

# Each build file's text, with a blank line before and after so that a name at the start or the end
# of a line is still framed by blank space.
declare -A lists=()
while IFS= read -r list; do
  IFS= read -r -d '' text <"$list"
  lists[${list%/*}]=$'\n'"$text"$'\n'
done < <(find "${present[@]}" -name CMakeLists.txt)

# A name counts as listed when it stands as a word of its own: a file name, or the end of a path.
names_in() { # DIR NAME
  local name=${2//./\\.}
  local re="[[:space:]/\"(]${name}[[:space:]\")]"
  [[ ${lists[$1]} =~ $re ]]
}

while IFS= read -r file; do
  dir=${file%/*}
  base=${file##*/}
  [ "$base" = CMakeLists.txt ] && continue
  if [ -z "${lists[$dir]+set}" ]; then
    echo "$file: its folder has no CMakeLists.txt"
    status=1
  elif ! names_in "$dir" "$base"; then
    echo "$file: not listed in $dir/CMakeLists.txt"
    status=1
  fi
done < <(find "${present[@]}" \( -name corpus -o -name pictures \) -prune -o -type f \
              \( -name '*.cpp' -o -name '*.h' -o -name '*.qrc' -o -name '*.cmake' \) -print | sort)

IFS= read -r -d '' top <CMakeLists.txt
top=$'\n'"$top"$'\n'
for dir in $(printf '%s\n' "${!lists[@]}" | sort); do
  parent=${dir%/*}
  [ "$parent" = "$dir" ] && parent=.
  while [ "$parent" != . ] && [ -z "${lists[$parent]+set}" ]; do
    case $parent in */*) parent=${parent%/*} ;; *) parent=. ;; esac
  done
  sub=${dir#"$parent"/}
  text=$top
  [ "$parent" = . ] || text=${lists[$parent]}
  re="add_subdirectory\\(${sub//./\\.}[[:space:])]"
  if ! [[ $text =~ $re ]]; then
    echo "$dir: not added by add_subdirectory($sub) in $parent/CMakeLists.txt"
    status=1
  fi
done

exit $status
