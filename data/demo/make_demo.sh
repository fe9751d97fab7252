#!/usr/bin/env bash
# Synthesises the demo tune of Ombrix Tonewright: 30 s in A minor at 120 beats per minute, a
# plucked melody over a square-wave bass and a light beat, in stereo (melody to the left, bass to
# the right, the beat in both), written as Ogg Vorbis. Made from nothing but sox's generators.
#
# Usage: make_demo.sh OUTPUT.ogg
set -euo pipefail

out=${1:?usage: make_demo.sh OUTPUT.ogg}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

rate=44100
eighth=0.25  # seconds

# Semitones from A4 (440 Hz).
declare -A semi=(
  [A2]=-24 [C3]=-21 [F2]=-28 [G2]=-26
  [G4]=-2 [A4]=0 [B4]=2 [C5]=3 [D5]=5 [E5]=7 [F5]=8 [G5]=10 [A5]=12 [B5]=14 [C6]=15
)

# One bar is eight eighths; a note is NAME:EIGHTHS, a rest R:EIGHTHS.
bars=(
  "A4:2 C5:1 E5:1 A5:2 G5:1 E5:1"
  "F5:2 E5:1 C5:1 A4:3 R:1"
  "G4:1 C5:1 E5:1 G5:1 E5:2 D5:1 C5:1"
  "D5:2 B4:1 G4:1 D5:3 R:1"
  "E5:1 E5:1 A5:2 G5:1 E5:1 C5:1 E5:1"
  "F5:1 A5:1 F5:1 C5:1 A4:2 C5:1 F5:1"
  "E5:2 G5:2 C5:1 E5:1 G5:1 C6:1"
  "B5:2 G5:1 D5:1 B4:2 D5:2"
)
# 15 bars: the eight-bar phrase, its first six bars again, and a held close on A.
order=(0 1 2 3 4 5 6 7 0 1 2 3 4 5)
bass_roots=(A2 F2 C3 G2)

seconds() { awk -v n="$1" -v e="$eighth" 'BEGIN { printf "%.3f", n * e }'; }

note() {  # note FILE NAME EIGHTHS VOICE
  local file=$1 name=$2 dur
  dur=$(seconds "$3")
  if [ "$name" = R ]; then
    sox -n -r $rate -c 1 "$file" trim 0 "$dur"
  elif [ "$4" = pluck ]; then
    sox -n -r $rate -c 1 "$file" synth "$dur" pluck "%${semi[$name]}" fade 0 "$dur" 0.06
  else
    sox -n -r $rate -c 1 "$file" synth "$dur" square "%${semi[$name]}" vol 0.5 lowpass 900 fade 0.01 "$dur" 0.08
  fi
}

# Melody and bass, note by note.
melody=() bass=() i=0
for b in "${order[@]}"; do
  for n in ${bars[$b]}; do
    f=$tmp/m$(printf %04d $i).wav
    note "$f" "${n%%:*}" "${n##*:}" pluck
    melody+=("$f")
    i=$((i + 1))
  done
  root=${bass_roots[$((b % 4))]}
  for half in 0 1; do
    f=$tmp/b$(printf %04d $i).wav
    note "$f" "$root" 4 square
    bass+=("$f")
    i=$((i + 1))
  done
done
sox -n -r $rate -c 1 "$tmp/close_m.wav" synth 2 pluck "%${semi[A4]}" synth 2 pluck "%${semi[E5]}" fade 0 2 1.2
sox -n -r $rate -c 1 "$tmp/close_b.wav" synth 2 square "%${semi[A2]}" vol 0.5 lowpass 900 fade 0.01 2 1.5
sox "${melody[@]}" "$tmp/close_m.wav" "$tmp/melody.wav"
sox "${bass[@]}" "$tmp/close_b.wav" "$tmp/bass.wav"

# The beat: kick on 1 and 3, snare on 2 and 4, a hi-hat on every eighth.
sox -n -r $rate -c 1 "$tmp/hat.wav" synth 0.04 whitenoise vol 0.25 highpass 6000 fade 0 0.04 0.03 pad 0 0.21
sox -n -r $rate -c 1 "$tmp/kick0.wav" synth 0.15 sine 130:45 fade 0 0.15 0.12 pad 0 0.10
sox -n -r $rate -c 1 "$tmp/snare0.wav" synth 0.12 whitenoise vol 0.6 bandpass 1800 1.2q fade 0 0.12 0.1 pad 0 0.13
sox -m "$tmp/kick0.wav" "$tmp/hat.wav" "$tmp/kick.wav"
sox -m "$tmp/snare0.wav" "$tmp/hat.wav" "$tmp/snare.wav"
sox "$tmp/kick.wav" "$tmp/hat.wav" "$tmp/snare.wav" "$tmp/hat.wav" \
    "$tmp/kick.wav" "$tmp/hat.wav" "$tmp/snare.wav" "$tmp/hat.wav" "$tmp/bar.wav"
sox "$tmp/bar.wav" "$tmp/beat14.wav" repeat 13
sox "$tmp/beat14.wav" "$tmp/kick.wav" "$tmp/beat.wav" pad 0 1.75

# Left: melody with the beat; right: bass, the beat and a quieter melody.
sox -m -v 0.8 "$tmp/melody.wav" -v 0.6 "$tmp/beat.wav" "$tmp/left.wav"
sox -m -v 0.9 "$tmp/bass.wav" -v 0.6 "$tmp/beat.wav" -v 0.35 "$tmp/melody.wav" "$tmp/right.wav"
mkdir -p "$(dirname "$out")"
sox -M "$tmp/left.wav" "$tmp/right.wav" -C 5 "$tmp/demo.ogg" norm -1 reverb 20 50 60 fade 0 30 1.5 trim 0 30
mv "$tmp/demo.ogg" "$out"
