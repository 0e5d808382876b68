# shellcheck shell=bash
# Sourced by the scripts in tools/. use_build BUILD_DIR [CONFIG] picks the
# build; built NAME then prints where it put NAME (program, shortcut_standin,
# box_player, bench_runner, bench_floor), as CMake wrote it in
# BUILD_DIR/built-paths-CONFIG.sh. Without CONFIG: the build's one
# configuration, or MinSizeRel when it has several (Visual Studio, Ninja
# Multi-Config).
use_build() {
  local found=("$1"/built-paths-*.sh)
  if [ -z "${2:-}" ] && [ ${#found[@]} -eq 1 ]; then
    built_paths=${found[0]}
  else
    built_paths=$1/built-paths-${2:-MinSizeRel}.sh
  fi
}

built() {
  if [ ! -f "${built_paths:-}" ]; then
    echo "built: no ${built_paths:-build chosen}; configure the build first" >&2
    return 1
  fi
  sed -n "s/^$1='\(.*\)'\$/\1/p" "$built_paths" | grep . || { echo "built: $built_paths names no $1" >&2; return 1; }
}
