# Sourced by the scripts that drive the real programs under Xvfb (the program and install tests,
# the README's screenshot): a scratch folder, processes ended on exit, a failure count, polling,
# and a virtual desktop.
#   source scripts/xvfb_session.sh
#   start_desktop 1024x700 [tray]    # an X server; with "tray", openbox and trayer as well
work=$(mktemp -d)
pids=()
failures=0
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# wait_for SECONDS COMMAND...: true once the command succeeds, polled every 0.1 s.
wait_for() {
  local end=$(($(date +%s%N) + $1 * 1000000000)); shift
  until "$@" >/dev/null 2>&1; do [ "$(date +%s%N)" -gt "$end" ] && return 1; sleep 0.1; done
}

# start_desktop WIDTHxHEIGHT [tray]: Xvfb on a free display, the programs pointed at it (through
# xcb, with a private runtime folder); exits the script when no server comes up.
start_desktop() {
  # Xvfb picks a free display itself and writes its number once it accepts clients.
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  pids+=($!)
  wait_for 20 test -s "$work/display" || { echo "no X server"; exit 1; }
  export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/run"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  wait_for 20 xdpyinfo || { echo "no X server"; exit 1; }
  [ "${2:-}" = tray ] || return 0
  openbox >/dev/null 2>&1 &
  pids+=($!)
  trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
  pids+=($!)
}
