# Sourced by the scripts that drive velmora on a virtual display. Gives them a
# process list of their own (so that copies of velmora elsewhere do not count),
# a scratch folder $work removed at exit, `fail`, background processes to kill
# in `pids`, and a fresh Xvfb on $DISPLAY that stays up between clients.
if [[ -z ${VELMORA_ISOLATED:-} ]] && unshare -pf --mount-proc true 2>/dev/null; then
  VELMORA_ISOLATED=1 exec unshare -pf --mount-proc "$0" "$@"
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
# A loaded machine can take a while to start the server.
for _ in $(seq 300); do [[ -s $work/display ]] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display")
