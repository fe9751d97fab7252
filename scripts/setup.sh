#!/usr/bin/env bash
# Installs everything that building, running and testing Tonewright need on Debian 12.
# Run as root (or through sudo). Does nothing when every package is already present.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config clang-14 libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  libsdl2-dev libgtest-dev libgmock-dev libebur128-dev
  # run
  libqt6widgets6 qt6-qpa-plugins fonts-dejavu-core fonts-liberation xdg-utils
  libopenmpt0
  # fixtures and checks
  python3 ffmpeg sox libsox-fmt-all lame flac vorbis-tools musepack-tools libjmac-java default-jre-headless
  procps
  # Suggest's evaluation and beat fixtures: MIDI songs rendered through a General MIDI sound font
  # (freedoom's music is the development corpus); a Vorbis file whose seeks once landed early
  fluidsynth fluid-soundfont-gm freedoom python3-mido hyperrogue-music
  # window tests
  xvfb xauth xdotool x11-utils imagemagick
  # desktop entry checks
  desktop-file-utils shared-mime-info
  # manual page, bash completion and AppStream metainfo checks
  man-db bash-completion appstream lintian
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
