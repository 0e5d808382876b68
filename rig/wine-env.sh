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
  # No menu entries or desktop files on the host, and no Mono or Gecko prompts.
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  unset DISPLAY WAYLAND_DISPLAY
}
