#!/usr/bin/env bash
# Makes the FLAC test files and their reference decodes into the folder given
# (default: ./flac-fixtures). For each NAME.flac there is NAME.raw, decoded by
# the reference `flac -d` as little-endian signed integers of the file's own
# width, interleaved. Short music-like signals (chords with a little noise),
# so that every predictor order and residual coding gets exercised.
set -euo pipefail
out=${1:-flac-fixtures}
mkdir -p "$out"
cd "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# make NAME RATE CHANNELS BITS SECONDS [flac options...]
make() {
  local name=$1 rate=$2 chans=$3 bits=$4 secs=$5
  shift 5
  local enc=signed
  [ "$bits" = 8 ] && enc=unsigned # WAV keeps 8-bit samples unsigned
  sox -q -n -r "$rate" -c "$chans" -b "$bits" -e "$enc" "$tmp/$name.wav" \
    synth "$secs" sine 220:880 sine 330 pluck 440 pinknoise \
    remix -m $(seq -s ' ' 1 "$chans" | sed 's/[0-9]*/1-4/g') \
    gain -n -0.5 2>/dev/null ||
    sox -q -n -r "$rate" -c "$chans" -b "$bits" -e "$enc" "$tmp/$name.wav" synth "$secs" pinknoise gain -n -0.5
  flac -s -f "$@" -o "$name.flac" "$tmp/$name.wav" 2>/dev/null
  flac -s -d -f --force-raw-format --endian=little --sign=signed -o "$name.raw" "$name.flac"
}

make s16 44100 2 16 3 -S 0.5s
make s24 48000 2 24 2
make s8 22050 2 8 2
make mono 44100 1 16 2
make ch6 48000 6 16 1
make hr96 96000 2 24 2
make s32 44100 2 32 1
make odd 44100 2 16 2 -b 1153
make noseek 44100 2 16 3 -S-
make ch8 48000 8 24 1

# STREAMINFO without a total sample count: encoded through a pipe.
sox -q -n -r 44100 -c 2 -b 16 -t raw -e signed - synth 2 sine 300 pinknoise remix 1-2 1-2 gain -n -1 |
  flac -s -f --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 --sample-rate=44100 -c - \
    >nototal.flac 2>/dev/null
flac -s -d -f --force-raw-format --endian=little --sign=signed -o nototal.raw nototal.flac 2>/dev/null
