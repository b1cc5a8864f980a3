#!/usr/bin/env bash
# Decoding speed of orva+pymo against the reference `flac -d`, on one
# 5-minute 16-bit 44.1 kHz stereo file, in the same run. Run by hand:
#   bench/flac_vs_reference.sh [build-dir]
# The reference writes its WAV to /dev/null (MD5 check on, as by default);
# orvadec opens the file with pymo's Orva_FLAC_StreamCreateFile, as the
# player does, and pulls float stereo through Orva_ChannelGetData to nowhere.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target orvadec pymo >/dev/null
ours="$build/bench/orvadec/orvadec --create $build/libs/pymo/pymo.dll:Orva_FLAC_StreamCreateFile"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Music-like content: a few detuned tones, plucks and a little noise.
sox -q -n -r 44100 -c 2 -b 16 "$work/long.wav" synth 300 sine 110:440 sine 277 pluck 330 pinknoise \
  remix 1,2v0.6,4v0.2 1,3v0.6,4v0.2 gain -n -1
flac -s -8 -f -o "$work/long.flac" "$work/long.wav"
rm "$work/long.wav"
ls -l "$work/long.flac"
if command -v hyperfine >/dev/null; then
  hyperfine -N --warmup 2 --runs 15 --export-json "$work/times.json" \
    "flac -s -d -f -o /dev/null $work/long.flac" \
    "$ours $work/long.flac"
  python3 - "$work/times.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
ref, ours = r[0]["median"], r[1]["median"]
print(f"median flac -d {ref:.3f} s, orva+pymo {ours:.3f} s: speed ratio {ref / ours:.2f} (goal >= 0.9)")
PY
else
  for i in 1 2 3 4 5 6 7; do
    /usr/bin/time -f %e flac -s -d -f -o /dev/null "$work/long.flac" 2>>"$work/ref.txt"
    /usr/bin/time -f %e $ours "$work/long.flac" >/dev/null 2>>"$work/ours.txt"
  done
  ref=$(sort -n "$work/ref.txt" | sed -n 4p)
  ours=$(sort -n "$work/ours.txt" | sed -n 4p)
  echo "median flac -d $ref s, orva+pymo $ours s: speed ratio $(echo "$ref / $ours" | bc -l | cut -c1-4) (goal >= 0.9)"
fi
