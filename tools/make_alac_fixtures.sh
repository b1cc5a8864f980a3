#!/usr/bin/env bash
# Makes the ALAC test files and ffmpeg's reference decodes of them in DIR:
#   NAME.m4a and NAME.ref (s16le for 16-bit, s32le for 24-bit sources).
# Usage: make_alac_fixtures.sh DIR
set -euo pipefail
dir=${1:?usage: make_alac_fixtures.sh DIR}
mkdir -p "$dir"
cd "$dir"

# Tones plus a little noise, so that frames use the predictor and the
# entropy coder's larger codes and not only zero runs.
signal() {  # channels rate seconds
  local chans=$1 rate=$2 secs=$3 exprs=() i
  for ((i = 0; i < chans; i++)); do
    exprs+=("0.4*sin(2*PI*$((220 + 110 * i))*t)*(1+0.5*sin(2*PI*0.7*t))+0.05*(random($i)-0.5)")
  done
  local joined
  joined=$(IFS='|'; echo "${exprs[*]}")
  echo "aevalsrc=${joined}:s=${rate}:d=${secs}"
}

make() {  # name channels rate seconds bits [extra ffmpeg options]
  local name=$1 chans=$2 rate=$3 secs=$4 bits=$5
  shift 5
  local fmt=s16p ref=s16le
  if [[ $bits == 24 ]]; then fmt=s32p ref=s32le; fi
  ffmpeg -nostdin -v error -y -f lavfi -i "$(signal "$chans" "$rate" "$secs")" \
    -c:a alac -sample_fmt "$fmt" "$@" "$name.m4a"
  ffmpeg -nostdin -v error -y -i "$name.m4a" -f "$ref" "$name.ref"
}

make mono16_44k 1 44100 2 16
make stereo16_44k_faststart 2 44100 2.5 16 -movflags +faststart
make stereo24_96k 2 96000 2 24
make stereo16_192k 2 192000 1.5 16 -movflags +faststart
make surround51_16_48k 6 48000 1.2 16
make surround51_24_44k 6 44100 1 24 -movflags +faststart

# An AAC track before the ALAC one; interleaving the two gives the ALAC track
# many chunks.
ffmpeg -nostdin -v error -y -f lavfi -i "$(signal 2 44100 3)" -f lavfi -i "sine=300:r=44100:d=3" \
  -map 1 -map 0 -c:a:0 aac -c:a:1 alac -sample_fmt:a:1 s16p aac_then_alac16_44k.m4a
ffmpeg -nostdin -v error -y -i aac_then_alac16_44k.m4a -map 0:1 -f s16le aac_then_alac16_44k.ref
