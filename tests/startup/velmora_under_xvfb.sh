#!/usr/bin/env bash
# The program itself on a virtual display: a fresh home gets the four
# libraries and the window; a second copy ends silently; a library that cannot
# be loaded gives its message and the end with code 0.
set -euo pipefail
velmora=$1
source "$(dirname "$0")/../support/xvfb_session.sh"
unset XDG_DATA_HOME XDG_CONFIG_HOME

# A fresh home: libraries written, loaded, the first window (the device
# window, as nothing is remembered yet) shown.
mkdir "$work/home"
HOME=$work/home "$velmora" &
first=$!
pids+=($first)
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^audio device$' | head -1) || fail "no window"
geometry=$(xdotool getwindowgeometry "$window")
[[ $geometry == *"Position: 230,232"* && $geometry == *"Geometry: 820x560"* ]] || fail "window: $geometry"
folder=$work/home/.local/share/Quensel/qz20
for library in orva tesk pymo ulda; do
  [[ -s $folder/$library.dll ]] || fail "$library.dll not written"
done
[[ $(stat -c %a "$folder") == 700 ]] || fail "library folder mode $(stat -c %a "$folder")"

# A second copy ends at once, silently, and the first keeps running.
set +e
HOME=$work/home timeout 30 "$velmora" >"$work/second.out" 2>&1
code=$?
set -e
[[ $code == 0 ]] || fail "second copy exit $code"
[[ ! -s $work/second.out ]] || fail "second copy said: $(cat "$work/second.out")"
kill -0 "$first" || fail "first copy ended"
kill "$first"

# A library that cannot be loaded (here a folder in its place, which the
# install cannot replace): its message, caption "QE", then exit code 0.
mkdir -p "$work/home2/.local/share/Quensel/qz20/orva.dll"
HOME=$work/home2 "$velmora" &
broken=$!
pids+=($broken)
timeout 60 xdotool search --sync --onlyvisible --name '^QE$' >/dev/null || fail "no QE message"
xdotool search --onlyvisible --name '^QE$' windowfocus --sync key Return
set +e
timeout 30 tail --pid="$broken" -f /dev/null
wait "$broken"
code=$?
set -e
[[ $code == 0 ]] || fail "exit code $code after the message"
echo "ok"
