#!/bin/sh
# Builds the program alone twice from scratch, into two build folders at
# different paths, and checks the two program files are the same byte for
# byte, and the same as REFERENCE (the suite's own build) when given.
#   check-reproducible.sh CMAKE GENERATOR SOURCE_DIR TOOLCHAIN_FILE BUILD_TYPE WORK_DIR [REFERENCE]
set -eu
if [ $# -lt 6 ]; then
  echo "usage: $0 CMAKE GENERATOR SOURCE_DIR TOOLCHAIN_FILE BUILD_TYPE WORK_DIR [REFERENCE]" >&2
  exit 2
fi
cmake=$1 generator=$2 source=$3 toolchain=$4 build_type=$5 work=$6 reference=${7:-}

rm -rf "$work"
first="$work/first"
second="$work/a/second/build/folder/with/a/longer/path"
mkdir -p "$first" "$second"

build() {
  log="$1/build.log"
  if ! { "$cmake" -S "$source" -B "$1" -G "$generator" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
           -DCMAKE_BUILD_TYPE="$build_type" -DQUORVEL_BUILD_TESTS=OFF &&
         "$cmake" --build "$1" --target QuorvelDesktopShortcut --parallel "$(nproc)"; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "FAIL: the build in $1 failed" >&2
    exit 1
  fi
}
build "$first"
build "$second"

name=QuorvelDesktopShortcut.exe
cmp "$first/$name" "$second/$name" || { echo "FAIL: two clean builds differ" >&2; exit 1; }
echo "two clean builds are identical: $(cksum <"$first/$name")"
if [ -n "$reference" ]; then
  cmp "$first/$name" "$reference" || { echo "FAIL: differs from $reference" >&2; exit 1; }
  echo "and identical to $reference"
fi
rm -rf "$work"
