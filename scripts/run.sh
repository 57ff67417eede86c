#!/usr/bin/env bash
# Builds Kwotnik and starts it in a working directory holding the ledger tables.
# Installs only what building and running the program needs (RUN_PACKAGES in scripts/packages.sh)
# and builds only the program and kwotnik-ledger. The tables are written there once by
# kwotnik-ledger; the program itself never creates them.
# A later start checks only what may have changed: the package list, the sources (ninja's own
# check), the tables and the desktop entry.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build"
work=${KWOTNIK_DATA:-"$HOME/Kwotnik"}
stamp="$build/.run-packages"
if [ ! -f "$build/build.ninja" ] || [ ! -f "$stamp" ] || [ "$here/scripts/packages.sh" -nt "$stamp" ]; then
  "$here/scripts/setup.sh" "$build" RUN kwotnik kwotnik-ledger
  touch "$stamp"
else
  # Configured before: ninja reruns cmake itself when a build file changed.
  ninja -C "$build" kwotnik kwotnik-ledger | { grep -v '^ninja: \(Entering\|Leaving\|no work to do\)' || true; }
fi
# A household's money is private: the folder is made readable by its owner alone.
if [ ! -d "$work" ]; then
  (umask 077 && mkdir -p "$work")
fi
if [ ! -e "$work/Wydatki.dbf" ] && [ ! -e "$work/Suma.dbf" ] && [ ! -e "$work/Sum.DBF" ]; then
  "$build/kwotnik-ledger" init "$work"
fi
# The program finds its help beside the executable; a copy in the data folder would be found first.
if [ -e "$work/POMOC.HLP" ] && ! cmp -s "$work/POMOC.HLP" "$here/data/POMOC.HLP"; then
  echo "Uwaga: $work/POMOC.HLP przesłania pomoc programu; jeśli to stara kopia, usuń ten plik." >&2
fi
# The desktop entry again only when what it is made of changed.
desktop="$build/.desktop-entry"
entry="${XDG_DATA_HOME:-"$HOME/.local/share"}/applications/kwotnik.desktop"
if [ -x "$here/scripts/install-desktop.sh" ]; then
  fresh=1
  [ -f "$desktop" ] && [ -f "$entry" ] && [ "$(cat "$desktop")" = "$work" ] || fresh=0
  for f in data/kwotnik.desktop data/kwotnik.svg data/POMOC.HLP scripts/install-desktop.sh; do
    [ "$fresh" = 1 ] && [ "$here/$f" -nt "$desktop" ] && fresh=0
  done
  if [ "$fresh" = 0 ]; then
    "$here/scripts/install-desktop.sh" "$build" && printf '%s' "$work" >"$desktop"
  fi
fi
cd "$work"
exec "$build/kwotnik" "$@"
