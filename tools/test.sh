#!/usr/bin/env bash
# Builds the program and its tests and runs them all under Wine, installing
# what is missing first: tools/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh test

cmake -S . -B build/gcc -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUORVEL_BUILD_TESTS=ON >/dev/null
cmake --build build/gcc -j"$(nproc)"
ctest --test-dir build/gcc --output-on-failure
