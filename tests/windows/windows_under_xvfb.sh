#!/usr/bin/env bash
# The windows on a virtual display, driven like a user would: a first start
# picks "Null output" and "Start", writes lp.is and shows the turntable, which
# follows a drag and closes with its button; a second start shows only the
# start window, then the turntable. Pictures of each window are kept in the
# folder given, for a person to look at.
#   windows_under_xvfb.sh <velmora> <screenshot tool> <picture folder>
set -euo pipefail
velmora=$1
shot=$2
pictures=$3
source "$(dirname "$0")/../support/xvfb_session.sh"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$pictures"
chmod 700 "$XDG_RUNTIME_DIR"
rm -f "$pictures"/*.png
settings=$XDG_CONFIG_HOME/velmora/lp.is

wait_window() { timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -1; }
shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
# Sets X, Y, WIDTH and HEIGHT of a window.
place() { eval "$(xdotool getwindowgeometry --shell "$1")"; }
picture() {
  place "$1"
  "$shot" "$pictures/$2.png" "$X" "$Y" "$WIDTH" "$HEIGHT"
}
ends_with_zero() {
  local code=0
  timeout 30 tail --pid="$1" -f /dev/null || fail "$2 did not end"
  wait "$1" || code=$?
  [[ $code == 0 ]] || fail "$2 ended with $code"
}

# ---- First start: nothing remembered ----------------------------------------------
"$velmora" &
first=$!
pids+=($first)
device=$(wait_window "audio device") || fail "no device window"
sleep 0.5
picture "$device" device-window
place "$device"
# "Null output" is the last line: the first line from the bottom that takes a click.
for k in $(seq 11 -1 0); do
  xdotool mousemove $((X + 80)) $((Y + 60 + 32 * k + 10)) click 1
  sleep 0.3
  shown options && break
done
options=$(wait_window options) || fail "no options window"
place "$options"
xdotool mousemove $((X + 215)) $((Y + 330)) # over "Start": it lights up
sleep 0.5
picture "$options" options-window
xdotool click 1
main=$(wait_window Velmora) || fail "no main window"
sleep 1.5 # fade-in and the settling pause
picture "$main" main-window

[[ -f $settings ]] || fail "lp.is not written"
[[ $(stat -c %s "$settings") == 38 ]] || fail "lp.is of $(stat -c %s "$settings") bytes"
tr -d '\000' <"$settings" | grep -q "Null output" || fail "lp.is does not name Null output"
cp "$settings" "$work/first.lp.is"

# The window follows a drag that starts anywhere on it.
place "$main"
x0=$X y0=$Y
xdotool mousemove $((x0 + 420)) $((y0 + 320)) mousedown 1
for step in 1 2 3 4 5 6; do
  xdotool mousemove $((x0 + 420 + 10 * step)) $((y0 + 320 + 5 * step))
  sleep 0.05
done
xdotool mouseup 1
sleep 0.5
place "$main"
[[ $X == $((x0 + 60)) && $Y == $((y0 + 30)) ]] || fail "dragged to $X,$Y from $x0,$y0"

# The close button lights up under the pointer and ends the program.
xdotool mousemove $((X + 795)) $((Y + 12))
sleep 0.4
picture "$main" main-window-close-lit
xdotool click 1
ends_with_zero "$first" "first start"

# ---- Second start: the remembered device is taken without asking -------------------
"$velmora" &
second=$!
pids+=($second)
splash_seen=
for _ in $(seq 1200); do
  shown "audio device" && fail "asked for the device again"
  if [[ -z $splash_seen ]] && shown "Velmora pcm"; then
    splash_seen=1
    sleep 0.2
    picture "$(xdotool search --onlyvisible --name '^Velmora pcm$' | head -1)" start-window
  fi
  shown Velmora && break
  sleep 0.05
done
[[ -n $splash_seen ]] || fail "no start window"
main=$(wait_window Velmora) || fail "no main window on the second start"
shown "Velmora pcm" && fail "start window still open"
cmp -s "$settings" "$work/first.lp.is" || fail "lp.is rewritten"
sleep 1
place "$main"
xdotool mousemove $((X + 795)) $((Y + 12)) click 1
ends_with_zero "$second" "second start"
echo "ok: pictures in $pictures"
