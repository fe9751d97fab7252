#!/usr/bin/env bash
# Generates every audio fixture listed in tests/FIXTURES.md into DIR.
#
#   scripts/make_fixtures.sh DIR
#
# Everything is synthesised with Debian's tools (ffmpeg, lame, flac, oggenc, mpcenc, jmac) and the
# Python helpers in scripts/fixtures/. The run is idempotent: DIR/.stamp, written last, holds a
# checksum of this script and the helpers, and a matching stamp ends the run at once. Files are
# built in a work folder inside DIR, checked with ffprobe, and only then moved into place, so an
# interrupted run never leaves a stamped half set. Tool output goes to DIR/make_fixtures.log.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 DIR" >&2
  exit 2
fi

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
HELPERS=$HERE/fixtures
DIR=$1
mkdir -p "$DIR"
DIR=$(cd "$DIR" && pwd)

STAMP=$(cd "$HERE" && sha256sum make_fixtures.sh fixtures/*.py | sha256sum | cut -d' ' -f1)
if [ -f "$DIR/.stamp" ] && [ "$(cat "$DIR/.stamp")" = "$STAMP" ]; then
  exit 0
fi

START=$(date +%s)
PY=python3
[ -x /usr/bin/python3 ] && PY=/usr/bin/python3
export PYTHONDONTWRITEBYTECODE=1
LOG=$DIR/make_fixtures.log

rm -f "$DIR/.stamp"
rm -rf "$DIR"/.work.*
WORK=$(mktemp -d "$DIR/.work.XXXXXX")
SONG_PID=
FORM_PID=
cleanup() {
  for pid in $SONG_PID $FORM_PID; do kill -- "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
: >"$LOG"

fail() {
  echo "make_fixtures: $*" >&2
  echo "make_fixtures: see $LOG" >&2
  exit 1
}

# Runs a command with its output in the log; a failure ends the script with the log's tail.
run() {
  echo "+ $(date +%T.%2N) $*" >>"$LOG"
  if ! "$@" >>"$LOG" 2>&1; then
    tail -n 15 "$LOG" >&2
    fail "command failed: $*"
  fi
}

py() { run "$PY" "$HELPERS/$1" "${@:2}"; }

# ffmpeg without its own metadata, timestamps or version strings, so runs repeat byte for byte.
ff() { run ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
BITEXACT=(-map_metadata -1 -fflags +bitexact -flags:a +bitexact)

W=$WORK
cd "$W"

# --- the song (benchmarks): runs beside the rest, the slowest encodes -------------------------
song_family() {
  py song.py song_src.wav 240
  run lame --quiet --nohist -q 7 -b 192 song_src.wav song.mp3
  run flac --silent --force -5 -o song.flac song_src.wav
  ff -i song_src.wav -c:a aac -aac_pns 0 -b:a 160k "${BITEXACT[@]}" song.m4a
  rm -f song_src.wav
  echo "song: song.mp3 song.flac song.m4a (240 s)"
}
song_family &
SONG_PID=$!

# --- songs of a known form (the suggested part): beside the rest as well ------------------------
FORM_SONGS="form_pop form_solo form_quiet_chorus form_long_intro form_ballad form_fade form_halves
  form_quiet_halves form_key_change form_loud_bridge"
form_family() {
  py form_songs.py "$W"
  for s in $FORM_SONGS; do
    run lame --quiet --nohist -b 192 "$s.wav" "$s.mp3"
  done
  echo "form songs: $FORM_SONGS (.wav .mp3 .txt), speech_like.wav"
}
form_family &
FORM_PID=$!

# --- PCM -------------------------------------------------------------------------------------
py signals.py "$W"
echo "pcm: 17 WAV files (ref.wav and its variants, rates, levels, lengths, 5.1)"

# --- encodings of ref.wav --------------------------------------------------------------------
run lame --quiet --nohist -b 192 ref.wav ref.mp3
run lame --quiet --nohist -V 2 ref.wav ref_vbr.mp3
run lame --quiet --nohist -b 192 -t ref.wav ref_notag.mp3
ff -i ref.wav -c:a mp2 -b:a 192k "${BITEXACT[@]}" ref.mp2
echo "mpeg audio: ref.mp3 ref_vbr.mp3 ref_notag.mp3 ref.mp2"

py mp1.py ref.mp1 10
echo "mpeg layer I: ref.mp1 (written by scripts/fixtures/mp1.py)"

run oggenc --quiet --serial 4401 -q 4 -o ref.ogg ref.wav
run oggenc --quiet --serial 5390 -q 4 -o sec53_9.ogg src_sec53_9.wav
# Streams that start later than granule position 0: ref.ogg's granules moved on by one second,
# and ref.ogg from its 20th page on
py ogg_pages.py ref.ogg late_start.ogg shift 44100
py ogg_pages.py ref.ogg cut_start.ogg cut 20
ff -i ref.wav -c:a libopus -b:a 96k "${BITEXACT[@]}" ref.opus
echo "ogg: ref.ogg sec53_9.ogg late_start.ogg cut_start.ogg ref.opus"

run flac --silent --force -5 -o ref.flac ref.wav
run jmac c2 ref.wav ref.ape
ff -i ref.wav -c:a pcm_s16be "${BITEXACT[@]}" -f aiff ref.aiff
ff -i ref.wav -c:a alac "${BITEXACT[@]}" -movflags +faststart ref_alac.m4a
cp ref_alac.m4a ref.alac
echo "lossless: ref.flac ref.ape ref.aiff ref_alac.m4a ref.alac"

run mpcenc --silent --overwrite --standard ref.wav ref.mpc
ff -i ref.wav -c:a wmav2 -b:a 128k "${BITEXACT[@]}" ref.wma
ff -i ref.wav -c:a ac3 -b:a 192k "${BITEXACT[@]}" ref.ac3
echo "other codecs: ref.mpc ref.wma ref.ac3"

ff -i ref.wav -c:a aac -aac_pns 0 -b:a 160k "${BITEXACT[@]}" -f adts ref.aac
# moov first, so truncated.m4a still opens and ends early
ff -i ref.wav -c:a aac -aac_pns 0 -b:a 160k "${BITEXACT[@]}" -movflags +faststart ref.m4a
ff -i ref.m4a -c copy "${BITEXACT[@]}" -movflags +faststart -f ipod ref.m4b
ff -i ref.m4a -c copy "${BITEXACT[@]}" -movflags +faststart -f mp4 ref.mp4
ff -i ref.wav -c:a aac -b:a 160k "${BITEXACT[@]}" -movflags +faststart ref_pns.m4a
ff -i ref.m4a -c copy "${BITEXACT[@]}" -output_ts_offset 2.5 start_offset.mp4
ff -i ref.m4a -c copy "${BITEXACT[@]}" -output_ts_offset 2.5 -f mpegts start_offset.ts
echo "aac: ref.aac ref.m4a ref.m4b ref.mp4 ref_pns.m4a start_offset.mp4 start_offset.ts"

# The sound of videos and of other containers, ref.wav inside each as people's tools put it there:
# MPEG-4 video beside AAC in MP4, QuickTime and 3GP, beside MP3 in AVI and Vorbis in Matroska; the
# audio-only WebM (Vorbis, as `ffmpeg -c:a libvorbis` writes it, and Opus), Matroska audio (FLAC),
# CAF (ALAC), WavPack and TTA; and a video without sound.
VIDEO=(-f lavfi -i "color=c=0x203040:s=160x120:r=25:d=10")
ff "${VIDEO[@]}" -i ref.wav -c:v mpeg4 -c:a aac -aac_pns 0 -b:a 160k "${BITEXACT[@]}" ref_video.mp4
ff "${VIDEO[@]}" -i ref.wav -c:v mpeg4 -c:a aac -aac_pns 0 -b:a 160k "${BITEXACT[@]}" -f mov ref.mov
ff "${VIDEO[@]}" -i ref.wav -c:v mpeg4 -c:a aac -aac_pns 0 -b:a 128k "${BITEXACT[@]}" -f 3gp ref.3gp
ff "${VIDEO[@]}" -i ref.wav -c:v mpeg4 -c:a libmp3lame -b:a 192k "${BITEXACT[@]}" ref.avi
ff "${VIDEO[@]}" -i ref.wav -c:v mpeg4 -c:a libvorbis -q:a 4 "${BITEXACT[@]}" ref.mkv
ff -i ref.wav -c:a libvorbis -q:a 4 "${BITEXACT[@]}" ref.webm
ff -i ref.wav -c:a libopus -b:a 96k "${BITEXACT[@]}" ref_opus.webm
ff -i ref.wav -c:a flac "${BITEXACT[@]}" ref.mka
ff -i ref.wav -c:a alac "${BITEXACT[@]}" ref.caf
ff -i ref.wav -c:a wavpack "${BITEXACT[@]}" ref.wv
ff -i ref.wav -c:a tta "${BITEXACT[@]}" ref.tta
ff -f lavfi -i "color=c=0x203040:s=160x120:r=25:d=3" -c:v mpeg4 "${BITEXACT[@]}" silent_video.mp4
echo "containers: ref_video.mp4 ref.mov ref.3gp ref.avi ref.mkv ref.webm ref_opus.webm ref.mka ref.caf ref.wv ref.tta silent_video.mp4"

# Files whose header gives only an estimate of their length, far from the truth: 8 s of loud noise,
# then 32 s of quiet tones (left a sweep over a 440 Hz tone, right 1 kHz with a little noise), so
# that each position sounds different. late.aac joins an ADTS encode of the noise at 256 kbit/s
# to one of the rest at 48 kbit/s (its estimate, from the opening bitrate, is about 15 s);
# late_vbr.mp3 is a VBR MP3 without a Xing header.
ff -f lavfi -i "aevalsrc=exprs='if(lt(t,8),0.9*(2*random(0)-1),0.25*sin(2*PI*440*t)+0.25*sin(2*PI*(200+5*t)*t))|if(lt(t,8),0.9*(2*random(1)-1),0.3*sin(2*PI*1000*t)+0.01*(2*random(1)-1))':s=44100:c=stereo" \
  -t 40 -c:a pcm_s16le "${BITEXACT[@]}" late_src.wav
ff -i late_src.wav -t 8 -c:a aac -aac_pns 0 -b:a 256k "${BITEXACT[@]}" -f adts late_head.aac
ff -ss 8 -i late_src.wav -c:a aac -aac_pns 0 -b:a 48k "${BITEXACT[@]}" -f adts late_tail.aac
cat late_head.aac late_tail.aac >late.aac
run lame --quiet --nohist -V 2 -t late_src.wav late_vbr.mp3
rm -f late_src.wav late_head.aac late_tail.aac
echo "estimated lengths: late.aac late_vbr.mp3"

# Parts to level: one piece (two chords under a slow swell, with noise) at three levels. The hot
# master is pushed 4 dB into 16-bit clipping, so its true peak lies above full scale.
LEVEL_SRC="aevalsrc=exprs='(0.35*sin(2*PI*220*t)+0.2*sin(2*PI*330*t))*(0.6+0.4*sin(2*PI*0.5*t))+0.12*(2*random(0)-1)|(0.3*sin(2*PI*277*t)+0.2*sin(2*PI*440*t))*(0.6+0.4*cos(2*PI*0.5*t))+0.12*(2*random(1)-1)':s=44100:c=stereo"
for level in quiet24:-12.9 quiet30:-18.6 hot_master:4; do
  ff -f lavfi -i "$LEVEL_SRC" -t 20 -af "volume=${level#*:}dB" -c:a pcm_s16le "${BITEXACT[@]}" "${level%%:*}.wav"
done
echo "levels: quiet24.wav quiet30.wav hot_master.wav"

ff -i surround51.wav -c:a ac3 -b:a 448k "${BITEXACT[@]}" surround51.ac3
echo "surround: surround51.wav surround51.ac3"

py trackers.py "$W"
echo "trackers: ref.mod ref.s3m ref.xm ref.it"

# --- songs of known beats and bar lines (the beat tracker): MIDI through FluidSynth ------------
BEAT_SONGS="beat_pickup beat_waltz beat_syncopated beat_tempo_change beat_riff beat_swing beat_form"
py beat_songs.py "$W"
for s in $BEAT_SONGS; do
  run fluidsynth -ni -F "$s.wav" -r 44100 -g 0.5 /usr/share/sounds/sf2/FluidR3_GM.sf2 "$s.mid"
done
echo "beat songs: $BEAT_SONGS (.mid .wav .txt)"

py badfiles.py "$W"
echo "bad files: empty, truncated, random, text, header-only, wrong extension"

wait "$SONG_PID" || { SONG_PID=; fail "the song family failed"; }
SONG_PID=
wait "$FORM_PID" || { FORM_PID=; fail "the form songs failed"; }
FORM_PID=

# --- checks ------------------------------------------------------------------------------------
MANIFEST=$W/manifest.tsv
printf 'name\tcodec\trate\tchannels\tframes\tduration\tstart_time\n' >"$MANIFEST"
NAMES=()

# probe FILE: sets (an MPEG-TS lists its streams twice, under the program too: first lines win)
# P_codec P_rate P_channels P_duration P_start P_ts (stream duration in 1/rate units)
probe() {
  local out
  out=$(ffprobe -v error -select_streams a:0 \
    -show_entries stream=codec_name,sample_rate,channels,duration,duration_ts,time_base:format=duration,start_time \
    -of default=noprint_wrappers=1 "$1" 2>>"$LOG") || fail "ffprobe cannot open $1"
  P_codec=$(sed -n 's/^codec_name=//p' <<<"$out" | head -n 1)
  P_rate=$(sed -n 's/^sample_rate=//p' <<<"$out" | head -n 1)
  P_channels=$(sed -n 's/^channels=//p' <<<"$out" | head -n 1)
  P_start=$(sed -n 's/^start_time=//p' <<<"$out" | head -n 1)
  P_ts=$(sed -n 's/^duration_ts=//p' <<<"$out" | head -n 1)
  local tb
  tb=$(sed -n 's/^time_base=//p' <<<"$out" | head -n 1)
  [ "$tb" = "1/$P_rate" ] || P_ts=N/A
  # the stream's duration when known (it comes first), else the container's
  P_duration=$(sed -n 's/^duration=//p' <<<"$out" | grep -v N/A | head -n 1 || true)
  [ -n "$P_duration" ] || P_duration=N/A
}

# Decoded length in seconds, for formats whose header estimate ffprobe gets wrong.
decoded_seconds() {
  local bytes
  bytes=$(ffmpeg -nostdin -v error -i "$1" -f s16le -ac 1 -ar "$2" - 2>>"$LOG" | wc -c)
  awk -v b="$bytes" -v r="$2" 'BEGIN { printf "%.6f", b / 2 / r }'
}

# expect NAME CODEC RATE CHANNELS SECONDS TOLERANCE [FRAMES]
expect() {
  local name=$1 codec=$2 rate=$3 ch=$4 secs=$5 tol=$6 frames=${7:-}
  [ -s "$name" ] || fail "$name is missing or empty"
  probe "$name"
  [ "$P_codec" = "$codec" ] || fail "$name: codec $P_codec, expected $codec"
  [ "$P_rate" = "$rate" ] || fail "$name: rate $P_rate, expected $rate"
  [ "$P_channels" = "$ch" ] || fail "$name: $P_channels channels, expected $ch"
  local dur=$P_duration
  [ "$codec" = musepack8 ] && dur=$(decoded_seconds "$name" "$rate")
  awk -v d="$dur" -v s="$secs" -v t="$tol" 'BEGIN { exit !(d != "N/A" && d - s <= t && s - d <= t) }' ||
    fail "$name: duration $dur s, expected $secs s (within $tol)"
  local n
  if [ -n "$frames" ]; then
    [ "$P_ts" = "$frames" ] || fail "$name: $P_ts frames, expected $frames"
    n=$frames
  else
    n=$(awk -v d="$dur" -v r="$rate" 'BEGIN { printf "%d", d * r + 0.5 }')
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$P_codec" "$P_rate" "$P_channels" "$n" "$dur" "${P_start:-N/A}" >>"$MANIFEST"
  NAMES+=("$name")
}

# expect_bytes NAME SIZE: a file that is not meant to decode
expect_bytes() {
  local size
  size=$(stat -c %s "$1")
  [ "$size" = "$2" ] || fail "$1: $size bytes, expected $2"
  printf '%s\t-\t-\t-\t-\t-\t-\n' "$1" >>"$MANIFEST"
  NAMES+=("$1")
}

# loud NAME: the decoded signal must not be silent
loud() {
  local max
  max=$(ffmpeg -nostdin -hide_banner -i "$1" -af volumedetect -f null - 2>&1 |
    sed -n 's/.*max_volume: \(-\?[0-9.]*\) dB.*/\1/p')
  awk -v m="$max" 'BEGIN { exit !(m != "" && m > -20) }' || fail "$1: decodes to silence (max ${max:-?} dB)"
}

# lufs NAME I TP: ffmpeg's BS.1770 meter reads the integrated loudness I (LUFS) and the true peak
# TP (dBTP) within 0.2
lufs() {
  local out i p
  out=$(ffmpeg -nostdin -hide_banner -i "$1" -af ebur128=peak=true -f null - 2>&1 | sed -n '/Summary:/,$p')
  i=$(sed -n 's/^ *I: *\(-\?[0-9.]*\) LUFS.*/\1/p' <<<"$out")
  p=$(sed -n 's/^ *Peak: *\(-\?[0-9.]*\) dBFS.*/\1/p' <<<"$out")
  awk -v i="$i" -v p="$p" -v ei="$2" -v ep="$3" \
    'BEGIN { exit !(i != "" && p != "" && i - ei <= 0.2 && ei - i <= 0.2 && p - ep <= 0.2 && ep - p <= 0.2) }' ||
    fail "$1: ${i:-?} LUFS, true peak ${p:-?} dBTP; expected $2 and $3"
}

# has_tag NAME yes|no: whether the first frame carries a Xing/Info (gapless) tag
has_tag() {
  local found=no
  if head -c 4096 "$1" | grep -a -q -E 'Xing|Info'; then found=yes; fi
  [ "$found" = "$2" ] || fail "$1: Xing/Info tag present=$found, expected $2"
}

expect ref.wav pcm_s16le 44100 2 10 0.001 441000
expect ref24.wav pcm_s24le 44100 2 10 0.001 441000
expect ref_f32.wav pcm_f32le 44100 2 10 0.001 441000
expect mono.wav pcm_s16le 44100 1 10 0.001 441000
expect 8k.wav pcm_s16le 8000 1 10 0.001 80000
expect 22k.wav pcm_s16le 22050 2 10 0.001 220500
expect 48k_mono.wav pcm_s16le 48000 1 10 0.001 480000
expect 96k.wav pcm_s24le 96000 2 10 0.001 960000
expect 192k.wav pcm_s16le 192000 2 3 0.001 576000
expect silence.wav pcm_s16le 44100 2 5 0.001 220500
expect fullscale.wav pcm_s16le 44100 2 5 0.001 220500
expect sine_half.wav pcm_s16le 44100 2 5 0.001 220500
expect sine_quarter_mono.wav pcm_s16le 44100 1 5 0.001 220500
expect short5s.wav pcm_s16le 44100 2 5 0.001 220500
expect sec60.wav pcm_s16le 44100 2 60 0.001 2646000
expect tiny7ms.wav pcm_s16le 44100 2 0.007 0.001 308
expect surround51.wav pcm_s16le 48000 6 10 0.001 480000
for f in quiet24 quiet30 hot_master; do expect "$f.wav" pcm_s16le 44100 2 20 0.001 882000; done
lufs quiet24.wav -24.3 -15.7
lufs quiet30.wav -30.0 -21.4
lufs hot_master.wav -7.4 1.2
expect sec53_9.ogg vorbis 44100 2 53.9 0.05
expect ref.mp3 mp3 44100 2 10 0.1
expect ref_vbr.mp3 mp3 44100 2 10 0.1
expect ref_notag.mp3 mp3 44100 2 10 0.1
has_tag ref.mp3 yes
has_tag ref_vbr.mp3 yes
has_tag ref_notag.mp3 no
# ffprobe's duration here is the header's estimate: the decoded length is checked instead
for f in late.aac late_vbr.mp3; do
  probe "$f"
  [ "$P_rate/$P_channels" = 44100/2 ] || fail "$f: $P_rate Hz, $P_channels channels"
  d=$(decoded_seconds "$f" 44100)
  awk -v d="$d" 'BEGIN { exit !(d > 40 && d < 40.1) }' || fail "$f: decodes to $d s, expected 40"
  n=$(awk -v d="$d" 'BEGIN { printf "%d", d * 44100 + 0.5 }')
  printf '%s\t%s\t44100\t2\t%s\t%s\t%s\n' "$f" "$P_codec" "$n" "$d" "${P_start:-N/A}" >>"$MANIFEST"
  NAMES+=("$f")
done
has_tag late_vbr.mp3 no
expect ref.mp2 mp2 44100 2 10 0.1
expect ref.mp1 mp1 44100 2 10 0.05
loud ref.mp1
expect ref.ogg vorbis 44100 2 10 0.01
# ffprobe's duration of these counts from their first packet, which decodes to nothing: the
# decoded length is recorded instead, and the moved stream decodes to exactly ref.ogg's frames
for f in late_start.ogg cut_start.ogg; do
  probe "$f"
  [ "$P_codec/$P_rate/$P_channels" = vorbis/44100/2 ] || fail "$f: $P_codec, $P_rate Hz, $P_channels channels"
  awk -v s="$P_start" 'BEGIN { exit !(s > 0.5) }' || fail "$f: start_time $P_start, expected a late start"
  n=$(ffmpeg -nostdin -v error -i "$f" -f s16le -ac 2 - 2>>"$LOG" | wc -c | awk '{ printf "%d", $1 / 4 }')
  d=$(awk -v n="$n" 'BEGIN { printf "%.6f", n / 44100 }')
  printf '%s\t%s\t44100\t2\t%s\t%s\t%s\n' "$f" "$P_codec" "$n" "$d" "$P_start" >>"$MANIFEST"
  NAMES+=("$f")
done
[ "$(awk -F'\t' '$1 == "late_start.ogg" { print $5 }' "$MANIFEST")" = 441000 ] || fail "late_start.ogg: not 441000 frames"
expect ref.opus opus 48000 2 10 0.05
expect ref.aiff pcm_s16be 44100 2 10 0.001 441000
expect ref.wma wmav2 44100 2 10 0.1
expect ref.ape ape 44100 2 10 0.001
expect ref.flac flac 44100 2 10 0.001 441000
expect ref.mpc musepack8 44100 2 10 0.1
expect ref.aac aac 44100 2 10 0.5
expect ref.m4a aac 44100 2 10 0.05
expect ref.m4b aac 44100 2 10 0.05
expect ref.mp4 aac 44100 2 10 0.05
expect ref_pns.m4a aac 44100 2 10 0.05
expect ref_alac.m4a alac 44100 2 10 0.001
expect ref.alac alac 44100 2 10 0.001
expect ref.ac3 ac3 44100 2 10 0.1
expect surround51.ac3 ac3 48000 6 10 0.1
for m in ref.mod ref.s3m ref.xm ref.it; do
  expect "$m" pcm_f32le 48000 2 5.76 0.1
  loud "$m"
done
expect start_offset.mp4 aac 44100 2 10 0.1
expect start_offset.ts aac 44100 2 10 0.1
for f in start_offset.mp4 start_offset.ts; do
  s=$(awk -F'\t' -v n="$f" '$1 == n { print $7 }' "$MANIFEST")
  awk -v s="$s" 'BEGIN { exit !(s > 1) }' || fail "$f: start_time $s, expected more than 1 s"
done
# The containers: the frames ffmpeg's decode of the sound gives (an MP4's edit list trims its AAC to
# ref.wav's 441000 frames, which ffmpeg's decode leaves padded).
for f in ref_video.mp4 ref.mov ref.3gp ref.avi ref.mkv ref.webm ref_opus.webm ref.mka ref.caf ref.wv ref.tta; do
  probe "$f"
  n=$(ffmpeg -nostdin -v error -i "$f" -map 0:a:0 -f s16le -ac 2 - 2>>"$LOG" | wc -c | awk '{ printf "%d", $1 / 4 }')
  d=$(awk -v n="$n" -v r="$P_rate" 'BEGIN { printf "%.6f", n / r }')
  awk -v d="$d" 'BEGIN { exit !(d > 9.9 && d < 10.1) }' || fail "$f: decodes to $d s, expected 10"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$f" "$P_codec" "$P_rate" "$P_channels" "$n" "$d" "${P_start:-N/A}" >>"$MANIFEST"
  NAMES+=("$f")
done
expect_bytes silent_video.mp4 "$(stat -c %s silent_video.mp4)"
expect song.mp3 mp3 44100 2 240 0.1
expect song.flac flac 44100 2 240 0.001 10584000
expect song.m4a aac 44100 2 240 0.1
expect form_pop.wav pcm_s16le 44100 2 128 0.001 5644800
expect form_solo.wav pcm_s16le 44100 2 129.6 0.001 5715360
expect form_quiet_chorus.wav pcm_s16le 44100 2 109.714 0.001 4838400
expect form_long_intro.wav pcm_s16le 44100 2 170.667 0.001 7526400
expect form_ballad.wav pcm_s16le 44100 2 165.714 0.001 7308000
for s in $FORM_SONGS; do
  probe "$s.wav"
  case " ${NAMES[*]} " in
    *" $s.wav "*) ;;
    *) expect "$s.wav" pcm_s16le 44100 2 "$P_duration" 0.001 ;;
  esac
  expect "$s.mp3" mp3 44100 2 "$P_duration" 0.1
  grep -q '^[0-9]' "$s.txt" || fail "$s.txt lists no chorus start"
  expect_bytes "$s.txt" "$(stat -c %s "$s.txt")"
done
expect speech_like.wav pcm_s16le 22050 1 90 0.001 1984500
# FluidSynth renders the notes' release and reverb after the last note: lengths to 0.2 s.
expect beat_pickup.wav pcm_s16le 44100 2 44.68 0.2
expect beat_waltz.wav pcm_s16le 44100 2 47.37 0.2
expect beat_syncopated.wav pcm_s16le 44100 2 47.81 0.2
expect beat_tempo_change.wav pcm_s16le 44100 2 58.17 0.2
expect beat_riff.wav pcm_s16le 44100 2 48.34 0.2
expect beat_swing.wav pcm_s16le 44100 2 52.18 0.2
expect beat_form.wav pcm_s16le 44100 2 157.92 0.2
for s in $BEAT_SONGS; do
  for ext in mid txt; do expect_bytes "$s.$ext" "$(stat -c %s "$s.$ext")"; done
done

expect_bytes empty.mp3 0
expect_bytes empty.wav 0
for ext in mp3 flac m4a; do
  expect_bytes "truncated.$ext" $(($(stat -c %s "ref.$ext") / 2))
done
expect_bytes random.mp3 65536
expect_bytes random.ogg 65536
expect_bytes random.wav 65536
expect_bytes header_only.wav 44
[ "$(od -An -tu4 -j40 -N4 header_only.wav | tr -d ' ')" = 0 ] || fail "header_only.wav: data size not 0"
for f in text.wav notes.txt; do
  [ -s "$f" ] && ! LC_ALL=C grep -q -a -P '[^\x09\x0a\x0d\x20-\x7e]' "$f" || fail "$f: not plain text"
  expect_bytes "$f" "$(stat -c %s "$f")"
done
for f in mp3_as.flac mp3_as.ogg; do
  cmp -s ref.mp3 "$f" || fail "$f differs from ref.mp3"
  expect_bytes "$f" "$(stat -c %s "$f")"
done

# --- into place ----------------------------------------------------------------------------------
for f in "${NAMES[@]}" manifest.tsv; do
  mv -f "$W/$f" "$DIR/$f"
done
cd "$DIR"
echo "$STAMP" >"$DIR/.stamp"
echo "fixtures: ${#NAMES[@]} files in $DIR ($(($(date +%s) - START)) s)"
