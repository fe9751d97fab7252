#!/usr/bin/env bash
# Cuts the fuzz targets' seed corpora (fuzz/corpus/<target>/, a few KiB each) from the generated
# fixtures: 0.1 s remuxed by ffmpeg where the container allows it (re-encoded for the lossless
# codecs), the head of the file where it does not (APE, Musepack), tiny WAVs whole, tracker
# modules cut to their first order. The fuzzers' finds are kept as they are: long_song.it (a
# module that loops for hours) and claims_2gb.wav (83 bytes of WAV whose INFO tag claims 2 GB).
# Usage: fuzz/cut_seeds.sh [FIXTURES]
set -euo pipefail
cd "$(dirname "$0")"
fx=${1:-../build/normal/fixtures}
find corpus -type f ! -name long_song.it ! -name claims_2gb.wav -delete 2>/dev/null || true
mkdir -p corpus
cut() {  # cut TARGET NAME FIXTURE [ffmpeg output options...]
  local target=$1 name=$2 src=$fx/$3
  shift 3
  mkdir -p "corpus/$target"
  ffmpeg -v error -y -i "$src" -t 0.1 -map 0:a -c copy "$@" "corpus/$target/$name"
}
head_of() {  # head_of TARGET NAME FIXTURE BYTES
  mkdir -p "corpus/$1"
  head -c "$4" "$fx/$3" > "corpus/$1/$2"
}
whole() { mkdir -p "corpus/$1"; cp "$fx/$3" "corpus/$1/$2"; }

g=open_decode_fuzz
cut $g mp3 ref.mp3 -f mp3
cut $g vbr.mp3 ref_vbr.mp3 -f mp3
cut $g notag.mp3 ref_notag.mp3 -f mp3 -write_xing 0 -id3v2_version 0
cut $g mp2 ref.mp2 -f mp2
head_of $g mp1 ref.mp1 3000
cut $g ogg ref.ogg -f ogg
head_of $g wav ref.wav 3000
head_of $g f32.wav ref_f32.wav 3000
head_of $g aiff ref.aiff 3000
whole $g tiny.wav tiny7ms.wav
# Tracker modules cut to their first order (1.9 s instead of 5.8 s): the order after it becomes
# the end-of-song mark (IT, S3M), or the song length 1 (XM at byte 64, MOD at byte 950).
for m in it s3m xm mod; do whole $g $m ref.$m; done
poke() { printf "\\x$3" | dd of="corpus/$g/$1" bs=1 seek=$(($2)) conv=notrunc status=none; }
poke it 0xC1 ff
poke s3m 0x61 ff
poke xm 64 01
poke mod 950 01
head_of $g ts start_offset.ts 4000

cut open_wma_fuzz wma ref.wma -f asf
head_of open_ape_fuzz ape ref.ape 4000
cut open_ac3_fuzz ac3 ref.ac3 -f ac3
cut open_alac_fuzz alac ref.alac -f ipod -t 0.03 -c:a alac
cut open_aac_fuzz aac ref.aac -f adts
cut open_m4a_fuzz m4a ref.m4a -f ipod -movflags +faststart
cut open_m4a_fuzz mp4 start_offset.mp4 -f mp4
cut open_m4a_fuzz pns.m4a ref_pns.m4a -f ipod
head_of open_mpc_fuzz mpc ref.mpc 4000
cut open_flac_fuzz flac ref.flac -f flac -t 0.03 -c:a flac
head_of open_flac_fuzz mp3_as.flac mp3_as.flac 2000

w=encoder_wav_fuzz
head_of $w s16.wav ref.wav 2000
head_of $w s24.wav ref24.wav 2000
head_of $w f32.wav ref_f32.wav 2000
head_of $w mono.wav 48k_mono.wav 2000
whole $w tiny.wav tiny7ms.wav
whole $w header_only.wav header_only.wav
ffmpeg -v error -y -i "$fx/ref.wav" -t 0.005 -c:a pcm_u8 -rf64 always -f wav "corpus/$w/u8_rf64.wav"
ffmpeg -v error -y -i "$fx/ref.wav" -t 0.005 -c:a pcm_f64le -f wav "corpus/$w/f64.wav"

o=encoder_options_fuzz
mkdir -p corpus/$o
printf -- '-w\0--mpeg-vers\0004\0--title\0Two Words\0--year\0002010\0-o\0/tmp/x.m4r\0-\0' > corpus/$o/ringtone
printf -- '-b128\0--artist=A\0--genre\00017\0in.wav\0' > corpus/$o/bitrate
printf -- '-q\000100\0--album\0-x\0--overwrite\0--\0-in.wav\0' > corpus/$o/quality
printf -- '--help\0' > corpus/$o/help
du -sh corpus/*
