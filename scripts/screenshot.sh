#!/usr/bin/env bash
# Takes the README's screenshot of the main window (resources/screenshot.png) under Xvfb, with a
# window manager and a tray host, over a temporary data folder with a few documents.
#   scripts/screenshot.sh            (after scripts/build.sh main)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/main/bin"
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

display=":$((RANDOM % 400 + 100))"
Xvfb "$display" -screen 0 900x560x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
export DISPLAY=$display XDG_DATA_HOME="$work/home" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 & pids+=($!)
trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 & pids+=($!)

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
for _ in $(seq 100); do
  id=$(xdotool search --name "Wardlet - Calvorne" 2>/dev/null | head -1) && [ -n "$id" ] && break
  sleep 0.1
done
xdotool windowmove "$id" 20 20 windowsize "$id" 760 300
sleep 1
import -frame -window "$id" "$work/shot.png"
convert "$work/shot.png" -strip -colors 64 PNG8:"$top/resources/screenshot.png"
echo "resources/screenshot.png: $(stat -c %s "$top/resources/screenshot.png") bytes"
