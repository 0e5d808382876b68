#!/usr/bin/env bash
# Builds the program and runs it under Wine, in the project's own prefix:
#   tools/run.sh [--headless] [--keep] [--new-prefix]
# With a display you answer the real boxes. Without one (or with --headless)
# it runs on a virtual display, answers Yes and then OK, and saves a
# screenshot of every box in build/run/screenshots/. Either way it then says
# where the shortcut and the icon file landed and what the shortcut says.
#   --keep        keep the last run's shortcut, to be asked about replacing it
#   --new-prefix  make the Wine prefix afresh
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD

headless=no keep=no fresh=no
for option in "$@"; do
  case $option in
    --headless) headless=yes ;;
    --keep) keep=yes ;;
    --new-prefix) fresh=yes ;;
    *) echo "usage: $0 [--headless] [--keep] [--new-prefix]" >&2; exit 2 ;;
  esac
done

tools/install-deps.sh run

run=$project/build/run
shots=$run/screenshots

# Prints a line every few seconds while a slow step works; its output goes
# to a log that is shown only if it fails.
with_progress() {
  local what=$1 log=$run/step.log
  shift
  echo "==> $what"
  "$@" >"$log" 2>&1 &
  local pid=$! seconds=0
  while kill -0 "$pid" 2>/dev/null; do
    sleep 1
    seconds=$((seconds + 1))
    if [ $((seconds % 3)) -eq 0 ]; then echo "    ... ${seconds} s"; fi
  done
  if ! wait "$pid"; then
    cat "$log" >&2
    echo "==> Failed: $what" >&2
    exit 1
  fi
}

# Wine names files through the prefix's drive links; people want the real folder.
resolve_linux_paths() {
  local line
  while IFS= read -r line; do
    case $line in
      *"Linux:   "*) printf '    Linux:   %s\n' "$(realpath -m "${line#*Linux:   }")" ;;
      *) printf '%s\n' "$line" ;;
    esac
  done
}

echo "==> Building the program, the stand-in shortcut object and the box player in build/run"
mkdir -p "$run"
cmake -S . -B "$run" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUORVEL_BUILD_DEMO=ON >"$run/configure.log" \
  || { cat "$run/configure.log" >&2; exit 1; }
cmake --build "$run" -j"$(nproc)" --target box_player
# Where the build put what this script runs.
# shellcheck source=rig/built.sh
. rig/built.sh
use_build "$run"
program=$(built program)
shortcut_standin=$(built shortcut_standin)
box_player=$(built box_player)

# X needs the real HOME's cookie once HOME is the prefix's own.
display=${DISPLAY:-}
if [ -n "$display" ]; then export XAUTHORITY=${XAUTHORITY:-$HOME/.Xauthority}; fi
# shellcheck source=rig/wine-env.sh
. rig/wine-env.sh
use_wine_prefix "$run"
# Keeps the display wine-env.sh leaves out for the tests.
if [ -n "$display" ]; then export DISPLAY=$display; fi

# shellcheck disable=SC2317  # run through with_progress
make_prefix() {
  DISPLAY='' sh rig/make-prefix.sh "$run" --readable
  echo made >"$run/prefix.made"
}

if [ "$fresh" = yes ] || [ ! -e "$run/prefix.made" ]; then
  rm -f "$run/prefix.made" "$run/prefix.frames"
  with_progress "Making the Wine prefix in build/run/prefix (about 10 s)" make_prefix
fi

if [ "$keep" = no ]; then
  rm -f "$WINEPREFIX"/drive_c/users/*/Desktop/Quorvel.url "$WINEPREFIX"/drive_c/users/*/AppData/Local/gomri.ico
fi

if [ "$headless" = no ] && [ -n "${DISPLAY:-}" ] && ! timeout 5 xdpyinfo >/dev/null 2>&1; then
  echo "==> The display $DISPLAY does not answer; using a virtual one"
  headless=yes
fi
if [ -z "${DISPLAY:-}" ]; then headless=yes; fi

# Who draws the boxes' frames and captions: the desktop's window manager, or
# Wine itself where there is none, as on the virtual display.
frames=wm
if [ "$headless" = yes ]; then frames=wine; fi
if [ "$(cat "$run/prefix.frames" 2>/dev/null)" != "$frames" ]; then
  if [ "$frames" = wine ]; then
    DISPLAY='' wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  else
    DISPLAY='' wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Decorated /f >/dev/null 2>&1 || true
  fi
  wineserver -w
  echo "$frames" >"$run/prefix.frames"
fi

report=$run/report.txt
# The player registers the stand-in for the shortcut class before it starts the program.
player_options=(--program="$(windows_path "$program")" --standin="$(windows_path "$shortcut_standin")"
  --rig-root="$(windows_path "$run/rig")")
if [ "$headless" = no ]; then
  echo "==> Running the program on $DISPLAY: answer its boxes there"
  status=0
  wine "$box_player" "${player_options[@]}" | resolve_linux_paths | tee "$report" || status=$?
  wineserver -w
else
  rm -rf "$shots"
  mkdir -p "$shots"
  echo "==> Running the program on a virtual display, answering Yes and then OK"
  status=0
  # shellcheck disable=SC2016
  xvfb-run -a -s '-screen 0 1024x768x24' sh -c '"$@"; code=$?; wineserver -w; exit $code' sh \
    wine "$box_player" "${player_options[@]}" --shots="$(windows_path "$shots")" | resolve_linux_paths | tee "$report" \
    || status=$?
  for bmp in "$shots"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png"
    rm "$bmp"
  done
  echo "Screenshots:"
  for png in "$shots"/*.png; do
    if [ -e "$png" ]; then echo "    $png"; fi
  done
fi

url=$(sed -n '/^Shortcut (/,/Linux:/s/^ *Linux: *//p' "$report" | tr -d '\r')
if [ -n "$url" ] && [ -f "$url" ]; then
  echo "The shortcut says:"
  # The stand-in writes UTF-16 with a byte-order mark.
  iconv -f UTF-16 -t UTF-8 "$url" | tr -d '\r' | sed 's/^/    /'
fi
exit "$status"
