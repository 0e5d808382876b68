#!/bin/sh
# Wine starts its desktop process (explorer.exe /desktop) with the first
# window of a fresh wineserver; a process whose desktop did not come up gets
# no window at all (error 0). So a test run brings it up first, each try in a
# fresh wineserver, and holds it until the run ends:
#   wine-desktop.sh ROOT up HOLDER   (the rig's desktop_holder.exe)
#   wine-desktop.sh ROOT down
set -eu
usage='usage: wine-desktop.sh ROOT up HOLDER | wine-desktop.sh ROOT down'
case ${2:-}:$# in
  up:3 | down:2) ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
# shellcheck source=rig/wine-env.sh
. "$(dirname "$0")/wine-env.sh"
use_wine_prefix "$1"
said=$1/desktop-holder.log

stop_wine
[ "$2" = down ] && exit 0
for _ in 1 2 3; do
  # Emptied first, so no earlier run's "up" is read; the holder's output
  # goes there, not to ctest's pipe, which it would keep open.
  : >"$said"
  wine "$3" >>"$said" 2>&1 </dev/null &
  # Wine waits for its desktop process; a minute bounds the wait here.
  polls=0
  until grep -q '^up' "$said" || ! kill -0 $! 2>/dev/null || [ $polls -eq 600 ]; do
    sleep 0.1
    polls=$((polls + 1))
  done
  grep -q '^up' "$said" && exit 0
  stop_wine
done
echo "wine-desktop.sh: Wine's desktop process (explorer.exe /desktop) did not come up in $WINEPREFIX in" \
  "3 tries, so no test can make a window; the holder said: $(cat "$said")" >&2
exit 1
