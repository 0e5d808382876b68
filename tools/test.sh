#!/usr/bin/env bash
# Builds the program and its tests with mingw-w64 GCC (build/gcc) and with
# clang and lld (build/clang), and runs every test under Wine for both,
# installing what is missing first: tools/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh test

# The Windows workflow's selection must not come up empty. The list is read
# whole first: grep -q quitting early would kill ctest with SIGPIPE and fail
# the pipeline under pipefail.
windows_selection_has_host_object() {
  local listed
  listed=$(ctest --test-dir "$1" -N -L windows) || return
  grep -q 'Test *#.*scenarios_host_object' <<<"$listed" ||
    { echo "$1: the tests labelled windows do not include scenarios_host_object" >&2; return 1; }
}

# Runs one build to the end, so a failure in one still shows the other's.
build_and_test() {
  local build=build/$1 toolchain=cmake/$2
  cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQUORVEL_BUILD_TESTS=ON >/dev/null &&
    cmake --build "$build" -j"$(nproc)" &&
    ctest --test-dir "$build" --output-on-failure --no-tests=error &&
    windows_selection_has_host_object "$build"
}

failed=()
build_and_test gcc mingw-w64-x86_64.cmake || failed+=(gcc)
build_and_test clang clang-mingw-w64-x86_64.cmake || failed+=(clang)

if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "Both builds passed: gcc and clang"
