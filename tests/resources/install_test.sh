#!/usr/bin/env bash
# `cmake --install` into a temporary prefix: every file where a desktop looks for it, the menu
# entry and the software-centre file valid, and the installed Wardlet, started under Xvfb, using
# the installed mailer and sounds.
# Usage: install_test.sh BUILD_DIR
set -uo pipefail
build=$1
source "$(dirname "$0")/../../scripts/xvfb_session.sh"

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "cmake --install failed"; exit 1; }
for f in bin/Wardlet bin/Wardpost bin/wardctl; do
  [ -x "$prefix/$f" ] || fail "$f is not installed as a program"
done
for f in share/wardlet/Wardlet.sound share/wardlet/Wardlet.alert share/wardlet/manual/manual.html \
  share/applications/wardlet.desktop share/metainfo/com.calvorne.Wardlet.metainfo.xml \
  share/icons/hicolor/16x16/apps/wardlet.png share/icons/hicolor/32x32/apps/wardlet.png \
  share/icons/hicolor/48x48/apps/wardlet.png share/icons/hicolor/256x256/apps/wardlet.png \
  share/icons/hicolor/scalable/apps/wardlet.svg share/man/man1/Wardlet.1.gz \
  share/man/man1/Wardpost.1.gz share/man/man1/wardctl.1.gz share/doc/wardlet/copyright; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
identify -format '%w' "$prefix/share/icons/hicolor/256x256/apps/wardlet.png" | grep -qx 256 ||
  fail "the 256 pixel icon is not 256 pixels wide"
for page in Wardlet Wardpost wardctl; do
  zcat "$prefix/share/man/man1/$page.1.gz" | grep -q "^\.TH" || fail "$page.1 is no manual page"
done
desktop-file-validate "$prefix/share/applications/wardlet.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/com.calvorne.Wardlet.metainfo.xml" >"$work/as" 2>&1 ||
  { cat "$work/as"; fail "appstreamcli validate"; }
"$prefix/bin/Wardlet" --version | grep -qx "Wardlet 7.0.4" || fail "the installed Wardlet's version"

# The installed monitor says which mailer and sounds it uses (WARDLET_DEBUG).
start_desktop 800x600
export XDG_DATA_HOME="$work/data"
WARDLET_DEBUG=1 "$prefix/bin/Wardlet" /hide 2>"$work/log" & monitor=$!; pids+=($monitor)
wait_for 20 grep -q "failure sound" "$work/log"
grep -qx "wardlet: mailer: $prefix/bin/Wardpost" "$work/log" || { cat "$work/log"; fail "the mailer it uses"; }
grep -qx "wardlet: change sound: $prefix/share/wardlet/Wardlet.sound" "$work/log" ||
  fail "the change sound it uses"
grep -qx "wardlet: failure sound: $prefix/share/wardlet/Wardlet.alert" "$work/log" ||
  fail "the failure sound it uses"
kill -TERM "$monitor"
for _ in $(seq 100); do kill -0 "$monitor" 2>/dev/null || break; sleep 0.1; done
kill -0 "$monitor" 2>/dev/null && fail "the installed monitor did not end on SIGTERM"

[ "$failures" -eq 0 ] && echo "install checks passed"
exit "$failures"
