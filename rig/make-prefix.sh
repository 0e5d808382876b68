#!/bin/sh
# Makes a fresh, private Wine prefix under ROOT (see wine-env.sh). Shell
# folders that Wine links to HOME become plain folders in the prefix.
#   make-prefix.sh ROOT              headless, for the tests and the benchmark
#   make-prefix.sh ROOT --readable   for boxes people look at (tools/run.sh)
set -eu
usage='usage: make-prefix.sh ROOT [--readable]'
root=${1:?$usage}
readable=${2:-}
# A mistyped option must not quietly give the other kind of prefix.
case $#:$readable in
  1: | 2:--readable) ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
# shellcheck source=rig/wine-env.sh
. "$(dirname "$0")/wine-env.sh"
use_wine_prefix "$root"

# Wine now and then refuses to start a program under load; another try takes.
retried() { "$@" || "$@" || "$@"; }

# An earlier run's Wine, still up in the prefix, goes first.
stop_wine
rm -rf "$WINEPREFIX" "$HOME" "$root/registry-to-restore"
mkdir -p "$HOME"
retried wineboot -i >/dev/null 2>&1 || { echo "make-prefix.sh: wineboot failed in $WINEPREFIX" >&2; exit 1; }
if [ "$readable" = --readable ]; then
  # Debian's Wine looks for its own fonts (Tahoma, Marlett for the caption
  # buttons) beside /usr/share/fonts, not where fonts-wine puts them.
  cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  # Tahoma has no Chinese: the boxes' text and bold caption borrow WenQuanYi's glyphs.
  for face in Tahoma "Tahoma Bold"; do
    retried wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 ||
      { echo "make-prefix.sh: cannot link $face to WenQuanYi Micro Hei" >&2; exit 1; }
  done
else
  retried wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 ||
    { echo "make-prefix.sh: cannot choose the null graphics driver" >&2; exit 1; }
fi
wineserver -w

for link in "$WINEPREFIX"/drive_c/users/*/*; do
  if [ -L "$link" ]; then
    rm "$link"
    mkdir "$link"
  fi
done
