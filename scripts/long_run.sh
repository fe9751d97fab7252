#!/usr/bin/env bash
# One long session of the real window: 500 files opened in turn while scans and previews run,
# with 50 conversions among them; prints memory, descriptors and threads after a warm-up and at
# the end, and fails when memory grew by 5 MB or more or a descriptor or thread was left behind.
# Usage: scripts/long_run.sh [FILES]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset normal >/dev/null
cmake --build --preset normal -j "$(nproc)" --target tw_long_run
fixtures=build/normal/fixtures
[ -f "$fixtures/.stamp" ] || ./scripts/make_fixtures.sh "$fixtures"
QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy build/normal/bin/tw_long_run "$fixtures" "${1:-500}" 2>&1 |
  grep -v -e '^ALSA lib' -e '^QStandardPaths'
