#!/usr/bin/env bash
# Installs the Debian packages Velmora needs to build, run and test, if any is missing.
set -euo pipefail
packages=(
  build-essential cmake pkg-config g++ clang libclang-rt-14-dev
  libgtest-dev googletest
  libsndfile1-dev libflac-dev libasound2-dev
  libgtk-3-dev libpng-dev libjpeg62-turbo-dev fonts-dancingscript
  flac sox ffmpeg xvfb xauth xdotool
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
