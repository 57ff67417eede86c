#!/usr/bin/env bash
# Builds Kwotnik and starts it in a working directory holding the ledger tables.
# The tables are written there once by kwotnik-ledger; the program itself never creates them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=${KWOTNIK_DATA:-"$HOME/Kwotnik"}
"$here/scripts/setup.sh" "$here/build"
# A household's money is private: the folder is made readable by its owner alone.
if [ ! -d "$work" ]; then
  (umask 077 && mkdir -p "$work")
fi
if [ ! -e "$work/Wydatki.dbf" ] && [ ! -e "$work/Suma.dbf" ] && [ ! -e "$work/Sum.DBF" ]; then
  "$here/build/kwotnik-ledger" init "$work"
fi
# The program finds its help beside the executable; a copy in the data folder would be found first.
if [ -e "$work/POMOC.HLP" ] && ! cmp -s "$work/POMOC.HLP" "$here/data/POMOC.HLP"; then
  echo "Uwaga: $work/POMOC.HLP przesłania pomoc programu; jeśli to stara kopia, usuń ten plik." >&2
fi
if [ -x "$here/scripts/install-desktop.sh" ]; then "$here/scripts/install-desktop.sh" "$here/build"; fi
cd "$work"
exec "$here/build/kwotnik" "$@"
