#!/usr/bin/env bash
# Builds and runs every benchmark; each prints "NAME: OURS vs BASELINE = RATIOx (target Tx)".
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset normal >/dev/null
cmake --build --preset normal -j "$(nproc)"
[ -f build/normal/fixtures/.stamp ] || ./scripts/make_fixtures.sh build/normal/fixtures
export TW_FIXTURES=$PWD/build/normal/fixtures TW_PROGRAM_DIR=$PWD/build/normal/bin SDL_AUDIODRIVER=dummy
for b in build/normal/bench/*_bench; do
  [ -x "$b" ] || continue
  "$b"
done
