#!/bin/sh
# Adds QM Launcher to the desktop's applications menu: writes a desktop entry that starts the
# launcher of this folder, with its icon, into the user's applications folder. Run it again after
# moving the folder.
set -eu
here=$(cd "$(dirname "$0")" && pwd -P)
apps="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
entry="$apps/qm-launcher.desktop"

# A desktop entry's strings double their backslashes; Exec's arguments are also quoted, with ",
# `, $ and \ escaped inside the quotes.
plain() { printf '%s' "$1" | sed -e 's/\\/\\\\/g'; }
argument() { printf '"%s"' "$(printf '%s' "$1" | sed -e 's/[\\"`$]/\\&/g')"; }

mkdir -p "$apps"
{
    grep -v -e '^Exec=' -e '^Icon=' "$here/qm-launcher.desktop"
    printf 'Exec=%s\n' "$(plain "$(argument "$here/qm-launcher")")"
    printf 'Path=%s\n' "$(plain "$here")"
    printf 'Icon=%s\n' "$(plain "$here/qm-launcher.png")"
} >"$entry.tmp"
mv "$entry.tmp" "$entry"
command -v update-desktop-database >/dev/null 2>&1 && update-desktop-database "$apps" || true
echo "installed $entry"
