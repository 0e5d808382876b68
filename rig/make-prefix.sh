#!/bin/sh
# Makes a fresh, private Wine prefix for one test run under ROOT (see
# wine-env.sh), headless (null graphics driver). Shell folders that Wine links
# to HOME become plain folders in the prefix.
set -eu
root=${1:?usage: make-prefix.sh ROOT}
# shellcheck source=rig/wine-env.sh
. "$(dirname "$0")/wine-env.sh"
use_wine_prefix "$root"

rm -rf "$WINEPREFIX" "$HOME" "$root/registry-to-restore"
mkdir -p "$HOME"
wineboot -i >/dev/null 2>&1 || { echo "make-prefix.sh: wineboot failed in $WINEPREFIX" >&2; exit 1; }
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 ||
  { echo "make-prefix.sh: cannot choose the null graphics driver" >&2; exit 1; }
wineserver -w

for link in "$WINEPREFIX"/drive_c/users/*/*; do
  if [ -L "$link" ]; then
    rm "$link"
    mkdir "$link"
  fi
done
