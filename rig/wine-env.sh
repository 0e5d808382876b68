# Sourced with $root set: the environment for Wine in the test run's prefix.
export WINEPREFIX="$root/prefix"
export HOME="$root/home"
export WINEARCH=win64
export WINEDEBUG=-all
# No menu entries or desktop files on the host, and no Mono or Gecko prompts.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset DISPLAY WAYLAND_DISPLAY
