#!/bin/sh
# Makes a fresh, private Wine prefix for one test run under ROOT:
#   ROOT/prefix  the prefix, headless (null graphics driver)
#   ROOT/home    a throw-away HOME, so nothing lands in the real one
# Shell folders that Wine links to HOME become plain folders in the prefix.
set -eu
root=${1:?usage: make-prefix.sh ROOT}
. "$(dirname "$0")/wine-env.sh"

rm -rf "$WINEPREFIX" "$HOME" "$root/fixtures"
mkdir -p "$HOME"
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w

for link in "$WINEPREFIX"/drive_c/users/*/*; do
  if [ -L "$link" ]; then
    rm "$link"
    mkdir "$link"
  fi
done

# A folder whose gomri.ico takes no bytes: writes to it come up short.
mkdir -p "$root/fixtures/full"
ln -s /dev/full "$root/fixtures/full/gomri.ico"
