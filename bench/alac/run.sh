#!/usr/bin/env bash
# Makes two five-minute ALAC files (16-bit 44.1 kHz and 24-bit 96 kHz stereo)
# and times their decoding through orva+ulda against ffmpeg.
# Usage: bench/alac/run.sh BUILD_DIR   (a Release or RelWithDebInfo build)
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# Chords with a slow envelope and a little noise: compresses roughly like music.
sig='(0.25*sin(2*PI*220*t)+0.15*sin(2*PI*331*t+sin(2*PI*0.3*t))+0.1*sin(2*PI*1250*t))*(0.6+0.4*sin(2*PI*0.2*t))+0.01*(random(0)-0.5)'
sig2='(0.2*sin(2*PI*165*t)+0.15*sin(2*PI*440*t)+0.08*sin(2*PI*2000*t+sin(2*PI*3*t)))*(0.6+0.4*cos(2*PI*0.15*t))+0.01*(random(1)-0.5)'
ffmpeg -nostdin -v error -f lavfi -i "aevalsrc=${sig}|${sig2}:s=44100:d=300" -c:a alac -sample_fmt s16p "$dir/s16_44k.m4a"
ffmpeg -nostdin -v error -f lavfi -i "aevalsrc=${sig}|${sig2}:s=96000:d=300" -c:a alac -sample_fmt s32p "$dir/s24_96k.m4a"
ls -l "$dir"
"$build/bench/alac/alac_bench" "$dir/s16_44k.m4a" "$dir/s24_96k.m4a"
