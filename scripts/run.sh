#!/usr/bin/env bash
# Builds Kwotnik and starts it in a working directory holding the ledger tables.
# The tables are written there once by kwotnik-ledger; the program itself never creates them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=${KWOTNIK_DATA:-"$HOME/Kwotnik"}
"$here/scripts/setup.sh" "$here/build"
mkdir -p "$work"
if [ ! -e "$work/Wydatki.dbf" ] && [ ! -e "$work/Suma.dbf" ] && [ ! -e "$work/Sum.DBF" ]; then
  "$here/build/kwotnik-ledger" init "$work"
fi
cp -n "$here/data/POMOC.HLP" "$work/" 2>/dev/null || true
if [ -x "$here/scripts/install-desktop.sh" ]; then "$here/scripts/install-desktop.sh" "$here/build"; fi
cd "$work"
exec "$here/build/kwotnik" "$@"
