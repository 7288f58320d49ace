#!/usr/bin/env bash
# Takes the README's screenshot of the main window (resources/screenshot.png) under Xvfb, with a
# window manager and a tray host, over a temporary data folder with a few documents.
#   scripts/screenshot.sh            (after scripts/build.sh main)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/main/bin"
source "$top/scripts/xvfb_session.sh"
start_desktop 900x560 tray
export XDG_DATA_HOME="$work/home"

echo "hello" > "$work/notes.txt"
"$bin/wardctl" add --type web-page --name "Calvorne news" --location "https://calvorne.example/news" >/dev/null
"$bin/wardctl" add --type web-file --name "Price list" --location "http://shop.example/prices.pdf" >/dev/null
"$bin/wardctl" add --type ftp-file --name "Mirror index" --location "ftp://127.0.0.1:9/pub/index.txt" >/dev/null
"$bin/wardctl" add --type local-file --name "Team notes" --location "$work/notes.txt" >/dev/null
"$bin/wardctl" check "Team notes" "Mirror index" >/dev/null || true
# One changed document, one never checked.
echo "changed" > "$work/notes.txt"
"$bin/wardctl" check "Team notes" >/dev/null || true
"$bin/wardctl" mark-checked "Calvorne news" >/dev/null
"$bin/wardctl" options set startupCheck 0 >/dev/null

"$bin/Wardlet" >/dev/null 2>&1 & pids+=($!)
wait_for 10 xdotool search --name "Wardlet - Calvorne"
id=$(xdotool search --name "Wardlet - Calvorne" | head -1)
xdotool windowmove "$id" 20 20 windowsize "$id" 760 300
sleep 1
import -frame -window "$id" "$work/shot.png"
convert "$work/shot.png" -strip -colors 64 PNG8:"$top/resources/screenshot.png"
echo "resources/screenshot.png: $(stat -c %s "$top/resources/screenshot.png") bytes"
