#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds Tonewright and runs every test:
# the normal build, the ASan+UBSan build and the TSan build, each with all labels,
# and a bounded libFuzzer run of every fuzz target (FUZZ_SECONDS each, 15 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

./scripts/setup.sh

echo "== normal build"
cmake --preset normal >/dev/null
cmake --build --preset normal -j "$JOBS"
ctest --test-dir build/normal --output-on-failure -j "$JOBS"

echo "== ASan + UBSan build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan --output-on-failure -j "$JOBS"

echo "== TSan build"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$JOBS"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/sanitizers/tsan_qt.supp" \
  ctest --test-dir build/tsan --output-on-failure -j "$JOBS"

echo "== fuzz (bounded)"
./scripts/fuzz.sh "${FUZZ_SECONDS:-15}"

echo "== all tests passed"
