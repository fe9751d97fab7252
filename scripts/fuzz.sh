#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (default 60 s),
# starting from its seed corpus fuzz/corpus/<target>/ and the corpus earlier runs grew in
# build/fuzz/corpus/<target>/. Prints each target's inputs per second; a crash, a leak or a
# time-out leaves its input in build/fuzz/artifacts/ and fails the run.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
shift || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
# A small quarantine keeps ASan's use-after-free checks while freed memory is reused soon, which
# spares the page faults that dominate a run with the default quarantine.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=5}
# The openers keep FFmpeg's large blocks between inputs: that must work and hide no fault.
check=build/fuzz/fuzz/large_blocks_check
"$check" || { echo "large_blocks_check: large blocks are not kept as they should be"; exit 1; }
report=$(mktemp)
trap 'rm -f "$report"' EXIT
for fault in overflow:heap-buffer-overflow use-after-free:use-after-poison double-free:already.freed; do
  if "$check" "${fault%%:*}" >"$report" 2>&1 || ! grep -q "${fault#*:}" "$report"; then
    echo "large_blocks_check: a ${fault%%:*} of a kept block went unreported"
    exit 1
  fi
done
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in build/fuzz/fuzz/*_fuzz; do [ -x "$f" ] && targets+=("$(basename "$f")"); done
fi
mkdir -p build/fuzz/artifacts
failed=()
summary=()
for name in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  echo "-- $name for ${SECONDS_EACH}s"
  log=build/fuzz/artifacts/$name.log
  # An input may cost no single allocation above 256 MB and no more than 1 GB in all: the engine
  # bounds FFmpeg's allocations at 128 MB, and none of a few KiB of input needs more.
  if "build/fuzz/fuzz/$name" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=1024 \
      -malloc_limit_mb=256 -max_len=16384 -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$name-" \
      "$corpus" "fuzz/corpus/$name" >"$log" 2>&1; then
    :
  else
    failed+=("$name")
    grep -E "ERROR|contract broken|SUMMARY|Test unit written" "$log" | head -5 || true
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  summary+=("$(printf '%-22s %8s inputs %6s/s' "$name" "${runs:-?}" "${rate:-?}")")
done
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in build/fuzz/artifacts/)"
  exit 1
fi
