#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds Tonewright and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset normal >/dev/null
cmake --build --preset normal -j "$(nproc)" --target tonewright faac
exec ./build/normal/bin/tonewright "$@"
