#!/usr/bin/env bash
# Times orva decoding a 5-minute 16-bit and a 24-bit WAV to float stereo
# against sox doing the same conversion, in one run, and prints the ratios
# (sox time / orva time: above 1 means orva is faster).
# Usage: wav-vs-sox.sh <build folder>
set -euo pipefail
build=${1:-build}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for bits in 16 24; do
  sox -D -V1 -n -r 44100 -c 2 -b $bits "$tmp/in$bits.wav" synth 300 pinknoise vol 0.5
  cat "$tmp/in$bits.wav" >/dev/null # warm the page cache for both
  best_orva=999 best_sox=999
  for run in 1 2 3; do
    s=$(date +%s.%N); "$build/bench/orvadec/orvadec" "$tmp/in$bits.wav" >/dev/null; e=$(date +%s.%N)
    best_orva=$(echo "t=$e-$s; if (t<$best_orva) t else $best_orva" | bc -l)
    s=$(date +%s.%N); sox -D -V1 "$tmp/in$bits.wav" -t f32 -e floating-point -b 32 /dev/null; e=$(date +%s.%N)
    best_sox=$(echo "t=$e-$s; if (t<$best_sox) t else $best_sox" | bc -l)
  done
  printf '%s-bit: orva %.3f s, sox %.3f s, ratio %.2f\n' $bits "$best_orva" "$best_sox" "$(echo "$best_sox/$best_orva" | bc -l)"
done
