#!/usr/bin/env bash
# Makes the WAV/AIFF files orva's tests decode, each with a reference: the
# same samples as raw little-endian integers (or floats) written by sox.
# Usage: orva-fixtures.sh <output folder>
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
noise() { # name rate channels seconds sox-encoding-args...
  local name=$1 rate=$2 chans=$3 secs=$4
  shift 4
  sox -D -V1 -n -r "$rate" -c "$chans" "$@" "$name" synth "$secs" whitenoise vol 0.9
}
ref() { # file encoding bits
  sox -D -V1 "$1" -t raw -L -e "$2" -b "$3" "$1.ref"
}
noise u8.wav 44100 2 0.4 -e unsigned-integer -b 8 && ref u8.wav signed-integer 8
noise s16.wav 44100 2 0.5 -e signed-integer -b 16 && ref s16.wav signed-integer 16
noise s16_mono.wav 22050 1 0.5 -e signed-integer -b 16 && ref s16_mono.wav signed-integer 16
noise s24.wav 48000 2 0.5 -e signed-integer -b 24 && ref s24.wav signed-integer 24 # sox writes WAVE_FORMAT_EXTENSIBLE here
noise s32.wav 44100 2 0.3 -e signed-integer -b 32 && ref s32.wav signed-integer 32
noise f32.wav 44100 2 0.3 -e floating-point -b 32 && ref f32.wav floating-point 32
noise f64.wav 44100 2 0.3 -e floating-point -b 64 && ref f64.wav floating-point 64
noise s24_6ch.wav 48000 6 0.3 -e signed-integer -b 24 && ref s24_6ch.wav signed-integer 24
noise s16.aiff 44100 2 0.4 -e signed-integer -b 16 && ref s16.aiff signed-integer 16
noise s24.aiff 96000 2 0.3 -e signed-integer -b 24 && ref s24.aiff signed-integer 24
noise s16.aifc 44100 2 0.4 -t aifc -e signed-integer -b 16 && ref s16.aifc signed-integer 16
# sox does not write RF64; ffmpeg copies the 24-bit samples into one.
ffmpeg -loglevel error -y -i s24.wav -rf64 always -c:a pcm_s24le rf64.wav
cp s24.wav.ref rf64.wav.ref
