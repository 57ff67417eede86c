#!/usr/bin/env bash
# Puts Kwotnik into the desktop's menu for the current user: the desktop entry, the icon and the
# help file under ~/.local/share (or $XDG_DATA_HOME). The entry starts the program built in the
# folder given as $1 in the data folder that scripts/run.sh uses ($KWOTNIK_DATA, default ~/Kwotnik).
# Safe to run again; it only ever writes these few files.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
build=$(cd "$build" 2>/dev/null && pwd) || { echo "install-desktop: no build folder $1" >&2; exit 1; }
program="$build/kwotnik"
work=${KWOTNIK_DATA:-"$HOME/Kwotnik"}
share=${XDG_DATA_HOME:-"$HOME/.local/share"}

# Desktop-entry quoting: inside a quoted Exec argument ", `, $ and \ take a backslash, then every
# backslash of the value is doubled once more as a string; % is doubled. Path= is a plain string.
exec_arg() {
  local s=$1
  s=${s//\\/\\\\}; s=${s//\"/\\\"}; s=${s//\`/\\\`}; s=${s//\$/\\\$}
  s=${s//\\/\\\\}; s=${s//%/%%}
  printf '"%s"' "$s"
}
plain() { local s=${1//\\/\\\\}; printf '%s' "$s"; }

apps="$share/applications"
icons="$share/icons/hicolor"
mkdir -p "$apps" "$icons/scalable/apps" "$share/kwotnik" || exit 1

entry="$apps/kwotnik.desktop"
{
  grep -v -e '^Exec=' -e '^TryExec=' "$here/data/kwotnik.desktop"
  printf 'Exec=%s\n' "$(exec_arg "$program")"
  printf 'TryExec=%s\n' "$(plain "$program")"
  printf 'Path=%s\n' "$(plain "$work")"
} > "$entry.tmp" && mv "$entry.tmp" "$entry"
chmod 644 "$entry"

install -m 644 "$here/data/kwotnik.svg" "$icons/scalable/apps/kwotnik.svg"
for size in 16 24 32 48 64 128 256; do
  mkdir -p "$icons/${size}x${size}/apps"
  install -m 644 "$here/tools/help/pictures/kwotnik-$size.png" "$icons/${size}x${size}/apps/kwotnik.png"
done
install -m 644 "$here/data/POMOC.HLP" "$share/kwotnik/POMOC.HLP"

# Menus and icon themes pick the files up by themselves on most desktops; these only hurry them.
command -v update-desktop-database >/dev/null && update-desktop-database -q "$apps" 2>/dev/null
command -v gtk-update-icon-cache >/dev/null && gtk-update-icon-cache -q -t "$icons" 2>/dev/null
echo "Kwotnik is in the desktop's menu: $entry"
exit 0
