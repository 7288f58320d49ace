#!/usr/bin/env bash
# The real Wardlet under Xvfb with a window manager and a tray host: a second start, "/hide",
# minimising to the tray and back, SIGTERM during a pass over slow loopback pages, and the
# commands' keys pressed as a person presses them, and the change view of a changed page.
# Usage: program_test.sh BIN_DIR SOURCE_DIR
set -uo pipefail
bin=$1 src=$2
source "$src/scripts/xvfb_session.sh"
visible() { xdotool search --onlyvisible --name "^Wardlet - Calvorne$"; }
not_visible() { ! visible; }
ended() { ! kill -0 "$1"; }

start_desktop 1024x700 tray
sleep 1

# 1. "/hide" (inside other text) starts with no visible window; a second start ends at once with
#    status 0 and brings the first window forward.
export XDG_DATA_HOME="$work/one"
"$bin/Wardlet" "x/hidex" >/dev/null 2>&1 & first=$!; pids+=($first)
wait_for 20 test -S "$XDG_DATA_HOME/Calvorne/Wardlet/Wardlet.instance" || fail "the monitor did not start"
sleep 1
not_visible || fail "/hide showed the window"
start=$(date +%s%N)
timeout 10 "$bin/Wardlet"; status=$?
took=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$status" -eq 0 ] || fail "second start ended with $status"
[ "$took" -le 2000 ] || fail "second start took ${took} ms"
wait_for 10 visible || fail "the first window did not come forward"
kill -0 "$first" || fail "the first monitor ended"

# 2. Minimising hides the window while a tray host runs; the tray icon brings it back.
id=$(visible | head -1)
xdotool windowminimize "$id"
wait_for 10 not_visible || fail "minimising did not hide the window"
icon=$(xdotool search --classname "wardlet" 2>/dev/null | while read -r w; do
  xwininfo -id "$w" 2>/dev/null | grep -q "Width: 16\|Width: 2[0-4]" && echo "$w"; done | head -1)
if [ -n "$icon" ]; then
  # A loaded machine may drop a click while the tray host is busy: click again, within bounds.
  back=no
  for _ in $(seq 15); do
    xdotool mousemove --window "$icon" 5 5 click 1
    wait_for 1 visible && { back=yes; break; }
  done
  [ "$back" = yes ] || fail "the tray icon did not bring the window back"
else
  echo "note: the tray icon's window was not found; asking through a second start instead"
  timeout 10 "$bin/Wardlet"
  wait_for 10 visible || fail "the hidden window did not come back"
fi
kill -TERM "$first"
wait_for 6 ended "$first" || fail "the first monitor did not end on SIGTERM"

# 3. SIGTERM during a pass over slow pages: the program ends within 6 s, every record whole and
#    none left Retrieving.
export XDG_DATA_HOME="$work/two"
mkdir -p "$work/pages"
exec 3< <(/usr/bin/python3 "$src/tests/monitor/engine/http_peer.py" "$work/pages" 2>/dev/null)
pids+=($!)
read -r -t 20 ready port <&3 || { echo "no HTTP peer"; exit 1; }
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1
for i in 1 2 3 4 5 6; do
  head -c 400 /dev/zero | tr '\0' x > "$work/pages/p$i"
  echo '{"mode": "drip", "interval": 0.05}' > "$work/pages/p$i.meta"
  "$bin/wardctl" add --type web-page --name "slow $i" --location "http://127.0.0.1:$port/p$i" >/dev/null
done
"$bin/Wardlet" >/dev/null 2>&1 & monitor=$!; pids+=($monitor)
# The start-up check begins 5 s after the start; wait until the peer is being read.
wait_for 30 test -s "$work/pages/hits" || fail "no check reached the peer"
sleep 1
start=$(date +%s%N)
kill -TERM "$monitor"
wait_for 6 ended "$monitor" || fail "SIGTERM did not end the monitor within 6 s"
wait "$monitor"; status=$?
[ "$status" -eq 0 ] || fail "the monitor ended with $status"
echo "SIGTERM to exit: $(( ($(date +%s%N) - start) / 1000000 )) ms"
for f in "$XDG_DATA_HOME"/Calvorne/Wardlet/*.data; do
  [ "$(stat -c %s "$f")" -eq 4632 ] || fail "$f is not whole"
  status=$(od -An -t d4 -j 2568 -N 4 "$f" | tr -d ' ')
  [ "$status" != 1 ] || fail "$f was left Retrieving"
done

# 4. The keys, with the list focused as after the start: Ctrl+F5 checks every document, Esc
#    marks all checked, End (the last row) then F5 checks that one row, Del asks and, answered
#    Yes, deletes it;
#    File > Exit saves the rest.
export XDG_DATA_HOME="$work/three"
folder="$XDG_DATA_HOME/Calvorne/Wardlet"
: > "$work/pages/hits"
for i in 1 2 3; do
  echo "page $i" > "$work/pages/k$i"
  "$bin/wardctl" add --type web-page --name "key $i" --location "http://127.0.0.1:$port/k$i" >/dev/null
done
"$bin/wardctl" options set startupCheck 0 >/dev/null
"$bin/wardctl" options set periodicCheck 0 >/dev/null
hits() { grep -c '^k[123]$' "$work/pages/hits"; }
hits_are() { [ "$(hits)" -eq "$1" ]; }
copies_are() { [ "$(ls "$folder"/*.content 2>/dev/null | wc -l)" -eq "$1" ]; }
records_are() { [ "$(ls "$folder"/*.data 2>/dev/null | wc -l)" -eq "$1" ]; }
windows_named() { [ "$(xdotool search --onlyvisible --name "^Wardlet - Calvorne$" | wc -l)" -ge "$1" ]; }
"$bin/Wardlet" >/dev/null 2>&1 & monitor=$!; pids+=($monitor)
wait_for 20 visible || fail "the window did not show"
id=$(visible | head -1)
press() { xdotool windowactivate --sync "$id" >/dev/null 2>&1; xdotool key --clearmodifiers "$@"; }
sleep 1
press ctrl+F5
wait_for 20 copies_are 3 || fail "Ctrl+F5 did not fetch every document ($(hits) hits)"
wait_for 5 hits_are 3 || fail "Ctrl+F5 made $(hits) requests, not 3"
press Escape
press End
press F5
wait_for 20 hits_are 4 || fail "F5 on one selected row made $(hits) requests in all, not 4"
press Delete
wait_for 10 windows_named 2 || fail "Del asked no question"
question=$(xdotool search --onlyvisible --name "^Wardlet - Calvorne$" | grep -v "^$id$" | head -1)
[ -n "$question" ] && xdotool windowactivate --sync "$question" >/dev/null 2>&1
xdotool key --clearmodifiers alt+y
wait_for 10 records_are 2 || fail "Del answered Yes did not delete one document"
copies_are 2 || fail "the deleted document's copy is still there"
press alt+f
sleep 0.5
xdotool key --clearmodifiers x
wait_for 10 ended "$monitor" || fail "File > Exit did not end the monitor"
wait "$monitor"; status=$?
[ "$status" -eq 0 ] || fail "File > Exit ended with $status"
for f in "$folder"/*.data; do
  [ "$(od -An -t d4 -j 2568 -N 4 "$f" | tr -d ' ')" = 0 ] || fail "$f was not saved Checked"
done

# 5. A document named like an opened copy survives File > Exit, record and stored copy, while a
#    check of a slow page is still running; the window goes before the checks have stopped.
export XDG_DATA_HOME="$work/four"
folder="$XDG_DATA_HOME/Calvorne/Wardlet"
echo "my notes" > "$work/notes.txt"
"$bin/wardctl" add --type local-file --name "UVP1.tmp_notes" --location "$work/notes.txt" >/dev/null
"$bin/wardctl" add --type web-page --name "slow" --location "http://127.0.0.1:$port/p1" >/dev/null
"$bin/wardctl" options set startupCheck 0 >/dev/null
"$bin/wardctl" options set periodicCheck 0 >/dev/null
: > "$work/pages/hits"
"$bin/Wardlet" >/dev/null 2>&1 & monitor=$!; pids+=($monitor)
wait_for 20 visible || fail "the window did not show"
id=$(visible | head -1)
sleep 1
press ctrl+F5
wait_for 20 test -s "$folder/UVP1.tmp_notes.content" || fail "the notes were not fetched"
wait_for 20 grep -q '^p1$' "$work/pages/hits" || fail "the slow page was not asked for"
press alt+f
sleep 0.5
start=$(date +%s%N)
xdotool key --clearmodifiers x
wait_for 10 not_visible || fail "File > Exit left the window up"
gone=$(( ($(date +%s%N) - start) / 1000000 ))
wait_for 10 ended "$monitor" || fail "File > Exit did not end the monitor"
echo "File > Exit to the window gone, a check running: ${gone} ms"
for f in UVP1.tmp_notes.data UVP1.tmp_notes.content; do
  [ -f "$folder/$f" ] || fail "$f was removed at exit"
done
"$bin/wardctl" list | grep -q "UVP1.tmp_notes" || fail "wardctl list lost the document"

# 6. A page changed on the server: Ctrl+H on its row opens "Changes - NAME", whose text holds the
#    new line; Esc closes it. WARDLET_SCREENSHOT names a file for a picture of the view.
export XDG_DATA_HOME="$work/five"
folder="$XDG_DATA_HOME/Calvorne/Wardlet"
printf '<p>tea 3</p>\n<p>milk 2</p>\n' > "$work/pages/prices"
"$bin/wardctl" add --type web-page --name "Prices" --location "http://127.0.0.1:$port/prices" >/dev/null
"$bin/wardctl" options set startupCheck 0 >/dev/null
"$bin/wardctl" options set periodicCheck 0 >/dev/null
versions_kept() { ls "$folder/History/Prices/"*.version >/dev/null 2>&1; }
changes_visible() { xdotool search --onlyvisible --name "^Changes - Prices$"; }
no_changes_visible() { ! changes_visible; }
"$bin/Wardlet" >/dev/null 2>&1 & monitor=$!; pids+=($monitor)
wait_for 20 visible || fail "the window did not show"
id=$(visible | head -1)
sleep 1
press ctrl+F5
wait_for 20 test -s "$folder/Prices.content" || fail "the prices page was not fetched"
printf '<p>tea 4</p>\n<p>milk 2</p>\n<p>bread 5 new line</p>\n' > "$work/pages/prices"
sleep 1
press ctrl+F5
wait_for 20 versions_kept || fail "the change kept no earlier version"
sleep 1
press End
press ctrl+h
wait_for 10 changes_visible || fail "Ctrl+H did not open \"Changes - Prices\""
view=$(changes_visible | head -1)
sleep 1
if [ -n "${WARDLET_SCREENSHOT:-}" ]; then import -window root "$WARDLET_SCREENSHOT"; fi
# The text pane follows the versions list: Tab to it, select all, copy, read the clipboard.
shown=""
for _ in $(seq 5); do
  xdotool windowactivate --sync "$view" >/dev/null 2>&1
  xdotool key --clearmodifiers Tab ctrl+a ctrl+c
  shown=$(timeout 5 xclip -o -selection clipboard 2>/dev/null)
  grep -q "+ bread 5 new line" <<<"$shown" && break
  sleep 1
done
grep -q "+ bread 5 new line" <<<"$shown" || fail "the change view did not show the new line: $shown"
xdotool windowactivate --sync "$view" >/dev/null 2>&1
xdotool key --clearmodifiers Escape
wait_for 10 no_changes_visible || fail "Esc did not close the change view"
kill -TERM "$monitor"
wait_for 6 ended "$monitor" || fail "SIGTERM did not end the monitor"

[ "$failures" -eq 0 ] && echo "all program checks passed"
exit "$failures"
