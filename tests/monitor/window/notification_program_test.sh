#!/usr/bin/env bash
# The real Wardlet under Xvfb telling a desktop notification service of its findings: a private
# session bus with python3-dbusmock's notification daemon, which logs every call. Without a tray
# host the notification is the alert and its actions reach the window; with one the balloon comes
# as well, and the setting turns the notification off; a pass of six changes folds; without a
# bus the program alerts as before.
# Usage: notification_program_test.sh BIN_DIR SOURCE_DIR
set -uo pipefail
bin=$1 src=$2
source "$src/scripts/xvfb_session.sh"
py=/usr/bin/python3
visible() { xdotool search --onlyvisible --name "^Wardlet - Calvorne$"; }
ended() { ! kill -0 "$1"; }
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1 WARDLET_DEBUG=1

start_desktop 1024x700
openbox >/dev/null 2>&1 &
pids+=($!)

# The session bus of this test alone.
dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus" 4>"$work/bus.pid"
wait_for 10 test -s "$work/bus.pid" || { echo "no dbus-daemon"; exit 1; }
pids+=($(cat "$work/bus.pid"))
bus=$(head -1 "$work/bus")
export DBUS_SESSION_BUS_ADDRESS=$bus

has_owner() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications | grep -q "boolean true"
}
mock=
# start_mock LOG: a fresh notification daemon with the "actions" capability, logging to LOG.
start_mock() {
  [ -n "$mock" ] && { kill "$mock" 2>/dev/null; wait "$mock" 2>/dev/null; }
  $py -m dbusmock --template notification_daemon -l "$1" \
    -p '{"capabilities": "body actions body-markup"}' >/dev/null 2>&1 &
  mock=$!; pids+=($mock)
  wait_for 20 has_owner || { echo "the notification mock did not start"; exit 1; }
}
notifies() { grep -c ' Notify ' "$1"; }
# invoke ID KEY: the service reports that the user chose action KEY of notification ID.
invoke() {
  $py -c 'import dbus, sys
o = dbus.SessionBus().get_object("org.freedesktop.Notifications", "/org/freedesktop/Notifications")
o.EmitSignal("org.freedesktop.Notifications", "ActionInvoked", "us",
             [dbus.UInt32(int(sys.argv[1])), sys.argv[2]], dbus_interface="org.freedesktop.DBus.Mock")' "$1" "$2"
}

mkdir -p "$work/pages"
exec 3< <($py "$src/tests/monitor/engine/http_peer.py" "$work/pages" 2>/dev/null)
pids+=($!)
read -r -t 20 ready port <&3 || { echo "no HTTP peer"; exit 1; }

# documents FOLDER NAME...: web pages checked once (their copies stored), then all changed, so the
# start-up check finds each of them changed.
documents() {
  export XDG_DATA_HOME="$work/$1"; shift
  folder="$XDG_DATA_HOME/Calvorne/Wardlet"
  for name in "$@"; do
    echo "first $name" > "$work/pages/${name//[^a-z0-9]/-}"
    "$bin/wardctl" add --type web-page --name "$name" \
      --location "http://127.0.0.1:$port/${name//[^a-z0-9]/-}" >/dev/null 2>&1
  done
  "$bin/wardctl" options set periodicCheck 0 >/dev/null 2>&1
  "$bin/wardctl" check --all >/dev/null 2>&1
  for name in "$@"; do echo "second $name" > "$work/pages/${name//[^a-z0-9]/-}"; done
}
# monitor LOG: Wardlet started with "/hide", its debug lines in LOG.
monitor() {
  "$bin/Wardlet" /hide >/dev/null 2>"$1" & wardlet=$!; pids+=($wardlet)
}
stop_monitor() {
  kill -TERM "$wardlet"
  wait_for 10 ended "$wardlet" || fail "the monitor did not end on SIGTERM"
  wait "$wardlet" || fail "the monitor ended with $?"
}
status_of() { od -An -t d4 -j 2568 -N 4 "$folder/$1.data" | tr -d ' '; }
# The usual text, or for one change of text its name and line counts.
balloon='tray balloon: \(Document has been changed or unable to retrieve\.\|.* has changed: .* added, .* removed\.\)'

# 1. No tray host: one Notify naming the document (its "&" escaped for a service that reads
#    markup), with the program's name, icon, desktop entry and actions; nothing blinks. Its "Open"
#    opens the document (so it counts as seen: Checked at exit), a click on it brings the
#    minimised window forward, and its "Show Changes" shows the change view of that document.
documents none "news & notes"
start_mock "$work/mock1.log"
monitor "$work/wardlet1.log"
wait_for 30 grep -q 'Notify "Wardlet" 0 "wardlet" "Wardlet" "Changed: news &amp; notes\( (+[0-9]* -[0-9]* lines)\)\?"' "$work/mock1.log" ||
  fail "no notification of the change: $(cat "$work/mock1.log")"
grep -q '\["default", "Activate", "changes", "Show Changes", "open", "Open"\] {"desktop-entry": "wardlet"}' "$work/mock1.log" ||
  fail "the notification lacks its actions or desktop entry: $(grep Notify "$work/mock1.log")"
sleep 3  # longer than the fold's hold: a second notification would be there by now
[ "$(notifies "$work/mock1.log")" -eq 1 ] || fail "$(notifies "$work/mock1.log") notifications, not 1"
grep -q "tray balloon" "$work/wardlet1.log" && fail "a balloon without a tray"
visible && fail "the window was not minimised"
invoke 1 open
wait_for 10 grep -q 'ActionInvoked 1 "open"' "$work/mock1.log" || fail "the mock sent no action"
invoke 1 default
wait_for 10 visible || fail "a click on the notification did not bring the window forward"
changes_visible() { xdotool search --onlyvisible --name "^Changes - news & notes$"; }
no_changes_visible() { ! changes_visible; }
invoke 1 changes
wait_for 10 changes_visible || fail "Show Changes on the notification showed no change view"
xdotool windowactivate --sync "$(changes_visible | head -1)" >/dev/null 2>&1
xdotool key --clearmodifiers Escape
wait_for 10 no_changes_visible || fail "Esc did not close the change view"
stop_monitor
opened=$(status_of "news & notes")
[ "$opened" = 0 ] || fail "Open did not open the document (status $opened)"

# 2. Six changes in one pass: the first at once, then one "6 documents changed" in its place.
documents six a b c d e f
start_mock "$work/mock2.log"
monitor "$work/wardlet2.log"
wait_for 40 grep -q '"6 documents changed"' "$work/mock2.log" ||
  fail "no fold of six changes: $(grep Notify "$work/mock2.log")"
sleep 3
count=$(notifies "$work/mock2.log")
[ "$count" -le 2 ] || fail "six changes made $count notifications: $(grep Notify "$work/mock2.log")"
grep ' Notify ' "$work/mock2.log" | tail -1 | grep -q 'Notify "Wardlet" 1 .*"6 documents changed"' ||
  fail "the fold did not replace the first notification: $(grep Notify "$work/mock2.log")"
stop_monitor

# 3. A tray host: the balloon as before and the notification as well; with the setting off the
#    balloon alone.
trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 1
documents tray "tray page"
start_mock "$work/mock3.log"
monitor "$work/wardlet3.log"
wait_for 30 grep -q "$balloon" "$work/wardlet3.log" || fail "no balloon beside a tray"
wait_for 10 grep -q '"Changed: tray page\( (+[0-9]* -[0-9]* lines)\)\?"' "$work/mock3.log" || fail "no notification beside the tray"
stop_monitor

documents tray-off "quiet page"
echo '{"desktopNotifications": false}' > "$folder/Wardlet.settings"
start_mock "$work/mock4.log"
monitor "$work/wardlet4.log"
wait_for 30 grep -q "$balloon" "$work/wardlet4.log" || fail "no balloon with the setting off"
sleep 3
[ "$(notifies "$work/mock4.log")" -eq 0 ] || fail "a notification with the setting off"
stop_monitor

# 4. No session bus: the program runs and alerts as before; one debug line says why, though two
#    documents changed.
documents nobus "one" "two"
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" monitor "$work/wardlet5.log"
wait_for 30 grep -q "$balloon" "$work/wardlet5.log" || fail "no balloon without a bus"
sleep 3
[ "$(grep -c 'desktop notifications: no session bus' "$work/wardlet5.log")" -eq 1 ] ||
  fail "not one line about the missing bus: $(grep 'desktop notifications' "$work/wardlet5.log")"
kill -0 "$wardlet" || fail "the monitor ended without a bus"
stop_monitor

[ "$failures" -eq 0 ] && echo "all notification checks passed"
exit "$failures"
