#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test:
#   1. the release build with all tests (under a virtual X display),
#   2. the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer,
#   3. each fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh

jobs=$(nproc)
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export CTEST_OUTPUT_ON_FAILURE=1
fuzz_seconds=${TRELM_FUZZ_SECONDS:-30}

configure() {  # DIR EXTRA-ARGS...
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja -DTRELM_WERROR=ON "$@" >/dev/null
}

echo "== release build and tests"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
xvfb-run -a ctest --test-dir build -j "$jobs" --timeout 300

echo "== sanitizer build and tests"
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DTRELM_SANITIZE=ON -DTRELM_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  xvfb-run -a ctest --test-dir build-asan -j "$jobs" --timeout 600

echo "== fuzzing (${fuzz_seconds}s per target)"
CC=clang CXX=clang++ configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELM_FUZZ=ON \
  -DBUILD_TESTING=OFF -DTRELM_BENCH=OFF
cmake --build build-fuzz -j "$jobs" --target trelm-fuzz-module
corpus=$(mktemp -d)
cp build/tests/modules/*.tbm "$corpus"/
./build-fuzz/tests/fuzz/trelm-fuzz-module -max_total_time="$fuzz_seconds" -max_len=4096 "$corpus" \
  2>&1 | tail -n 3
rm -rf "$corpus"
echo "== all done"
