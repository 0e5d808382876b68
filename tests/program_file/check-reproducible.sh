#!/bin/sh
# Builds the program alone from scratch three times, into build folders at
# different paths: twice with GENERATOR and once with Ninja Multi-Config (the
# kind of generator Visual Studio is), all in configuration CONFIG. Checks
# the three program files are the same byte for byte, and the same as
# REFERENCE (the suite's own build) when given.
#   check-reproducible.sh CMAKE GENERATOR SOURCE_DIR TOOLCHAIN_FILE CONFIG WORK_DIR [REFERENCE]
set -eu
if [ $# -lt 6 ]; then
  echo "usage: $0 CMAKE GENERATOR SOURCE_DIR TOOLCHAIN_FILE CONFIG WORK_DIR [REFERENCE]" >&2
  exit 2
fi
cmake=$1 generator=$2 source=$3 toolchain=$4 config=$5 work=$6 reference=${7:-}
command -v ninja >/dev/null || { echo "FAIL: ninja not found (Debian: ninja-build)" >&2; exit 1; }

rm -rf "$work"
first="$work/first"
second="$work/a/second/build/folder/with/a/longer/path"
multi="$work/multi"
mkdir -p "$first" "$second" "$multi"

name=QuorvelDesktopShortcut.exe
# build DIR GENERATOR: builds there, and writes the program's path to DIR/program.
build() {
  { "$cmake" -S "$source" -B "$1" -G "$2" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE="$config" -DQUORVEL_BUILD_TESTS=OFF &&
    "$cmake" --build "$1" --config "$config" --target QuorvelDesktopShortcut; } >"$1/build.log" 2>&1 || return 1
  # Multi-configuration generators put it in a folder named after CONFIG.
  if [ -f "$1/$config/$name" ]; then echo "$1/$config/$name"; else echo "$1/$name"; fi >"$1/program"
}
# finish DIR PID: waits for the build in DIR.
finish() {
  if ! wait "$2"; then
    cat "$1/build.log" >&2
    echo "FAIL: the build in $1 failed" >&2
    exit 1
  fi
}
# Side by side: quicker than one after the other.
build "$first" "$generator" & first_pid=$!
build "$second" "$generator" & second_pid=$!
build "$multi" "Ninja Multi-Config" & multi_pid=$!
finish "$first" "$first_pid"
finish "$second" "$second_pid"
finish "$multi" "$multi_pid"
first_program=$(cat "$first/program")
second_program=$(cat "$second/program")
multi_program=$(cat "$multi/program")

cmp "$first_program" "$second_program" || { echo "FAIL: two clean builds differ" >&2; exit 1; }
echo "two clean $config builds ($generator) are identical: $(cksum <"$first_program")"
cmp "$first_program" "$multi_program" || { echo "FAIL: the Ninja Multi-Config build differs" >&2; exit 1; }
echo "and identical to the Ninja Multi-Config build's $config program"
if [ -n "$reference" ]; then
  cmp "$first_program" "$reference" || { echo "FAIL: differs from $reference" >&2; exit 1; }
  echo "and identical to $reference"
fi
rm -rf "$work"
