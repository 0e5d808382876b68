# shellcheck shell=sh
# Sourced. use_wine_prefix ROOT sets the environment for Wine in the rig's
# private prefix under ROOT:
#   ROOT/prefix  the Wine prefix
#   ROOT/home    a throw-away HOME, so nothing lands in the real one
use_wine_prefix() {
  export WINEPREFIX="$1/prefix"
  export HOME="$1/home"
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No menu entries or desktop files on the host, no Mono or Gecko prompts,
  # and a crash ends the program instead of waiting in the debugger.
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winedbg.exe=d"
  unset DISPLAY WAYLAND_DISPLAY
}

# stop_wine: ends whatever runs in the prefix; nothing running is fine.
stop_wine() {
  if wineserver -k 2>/dev/null; then wineserver -w; fi
}

# windows_path PATH: what Wine calls an absolute Linux PATH, through its Z:
# drive (/a/b is Z:\a\b).
windows_path() {
  printf 'Z:%s' "$1" | sed 's|/|\\|g'
}
