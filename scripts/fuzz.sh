#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (default 60 s),
# seeded with the generated fixtures. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
fixtures=build/normal/fixtures
[ -d "$fixtures" ] || ./scripts/make_fixtures.sh "$fixtures"
for fuzzer in build/fuzz/fuzz/*_fuzz; do
  [ -x "$fuzzer" ] || continue
  corpus=build/fuzz/corpus/$(basename "$fuzzer")
  mkdir -p "$corpus"
  echo "-- $(basename "$fuzzer") for ${SECONDS_EACH}s"
  "$fuzzer" -max_total_time="$SECONDS_EACH" -timeout=20 -rss_limit_mb=2048 -max_len=262144 \
    -print_final_stats=1 "$corpus" "$fixtures"
done
