#!/usr/bin/env bash
# The Debian package: built from the tree by scripts/package.sh (lintian must find no error), its
# file list, and, as root, `apt-get install` of the file and `apt-get remove` leaving nothing.
# Usage: package_test.sh SOURCE_DIR
set -uo pipefail
src=$1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

package=$("$src/scripts/package.sh" | tail -1) || { echo "FAIL: scripts/package.sh"; exit 1; }
[ "$(basename "$package")" = "wardlet_7.0.4_amd64.deb" ] || fail "the package is named $package"
listing=$(dpkg-deb -c "$package" | awk '{ print $6 }' | sed 's|^\./|/|')
for f in /usr/bin/Wardlet /usr/bin/Wardpost /usr/bin/wardctl /usr/share/wardlet/Wardlet.sound \
  /usr/share/wardlet/Wardlet.alert /usr/share/wardlet/manual/manual.html \
  /usr/share/applications/wardlet.desktop /usr/share/metainfo/com.calvorne.Wardlet.metainfo.xml \
  /usr/share/icons/hicolor/256x256/apps/wardlet.png /usr/share/icons/hicolor/scalable/apps/wardlet.svg \
  /usr/share/man/man1/Wardlet.1.gz /usr/share/doc/wardlet/copyright /usr/share/doc/wardlet/changelog.gz \
  /usr/lib/systemd/user/wardlet-check.service /usr/lib/systemd/user/wardlet-check.timer; do
  grep -qx "$f" <<<"$listing" || fail "$f is not in the package"
done
depends=$(dpkg-deb -f "$package" Depends)
for lib in libqt6widgets6 libcurl4 libssl3 libyaml-cpp0.7 libc6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

# The packaged units, as systemd reads them: the service names the installed wardctl, pointed here
# at the unpacked copy, and its manual page is found in the package.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$package" "$unpacked"
units="$unpacked/usr/lib/systemd/user"
grep -qx "ExecStart=/usr/bin/wardctl check --all --send-mail" "$units/wardlet-check.service" ||
  fail "the service does not run the installed wardctl"
sed -i "s|/usr/bin/wardctl|$unpacked/usr/bin/wardctl|" "$units/wardlet-check.service"
mkdir -m 700 "$unpacked/runtime"
MANPATH="$unpacked/usr/share/man" XDG_RUNTIME_DIR="$unpacked/runtime" \
  systemd-analyze verify --user "$units/wardlet-check.service" "$units/wardlet-check.timer" ||
  fail "systemd-analyze verify of the packaged units"

if [ "$(id -u)" -eq 0 ] && [ "${CI:-}" = true ] && ! dpkg -s wardlet >/dev/null 2>&1; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$package" >/dev/null ||
    fail "apt-get install of the package"
  /usr/bin/Wardlet --version | grep -qx "Wardlet 7.0.4" || fail "the installed Wardlet does not run"
  /usr/bin/wardctl --version >/dev/null || fail "the installed wardctl does not run"
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -q wardlet >/dev/null || fail "apt-get remove"
  for f in /usr/bin/Wardlet /usr/bin/Wardpost /usr/bin/wardctl /usr/share/wardlet; do
    [ ! -e "$f" ] || fail "$f is left after apt-get remove"
  done
else
  echo "note: install and removal are tried as root under CI=true only"
fi

[ "$failures" -eq 0 ] && echo "package checks passed"
exit "$failures"
