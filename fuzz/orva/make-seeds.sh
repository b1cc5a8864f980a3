#!/usr/bin/env bash
# Rewrites the small seed files of the orva fuzz target (a few hundred bytes each).
set -euo pipefail
cd "$(dirname "$0")/seeds"
tone() { sox -D -V1 -n -r 8000 "$@" synth 0.003 sine 440; }
tone -c 2 -b 16 s16.wav
tone -c 1 -e unsigned-integer -b 8 u8.wav
tone -c 2 -b 24 s24_extensible.wav
tone -c 3 -b 32 s32_3ch.wav
tone -c 2 -e floating-point -b 32 f32.wav
tone -c 1 -e floating-point -b 64 f64.wav
tone -c 2 -b 16 s16.aiff
tone -c 1 -b 24 s24.aiff
tone -c 2 -b 16 -t aifc s16.aifc
ffmpeg -loglevel error -y -i s16.wav -rf64 always -c:a pcm_s16le rf64.wav
