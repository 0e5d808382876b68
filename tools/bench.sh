#!/usr/bin/env bash
# Measures the program against the floor, a bare question box, under Wine in
# a private prefix, and prints the table: tools/bench.sh [RUNS]  (at least 15)
# Run by hand on a quiet machine; CI does not run it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh bench

build=build/bench
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUORVEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
# Where the build put what this script runs.
# shellcheck source=rig/built.sh
. rig/built.sh
use_build "$build"

# A prefix of its own, made afresh: the same set-up as the tests'.
root=$PWD/$build/wine-rig
echo "Making a private Wine prefix in $root"
sh rig/make-prefix.sh "$root"

# The runner registers the stand-in object in that prefix for the Yes runs.
rig/wine-run.sh "$root" "$(built bench_runner)" --floor="$(built bench_floor)" --program="$(built program)" \
  --standin="$(built shortcut_standin)" --rig-root="$root/rig" ${1:+--runs="$1"}
