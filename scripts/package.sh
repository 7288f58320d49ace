#!/usr/bin/env bash
# Builds the Debian package from the tree: an optimised build of the programs alone in
# build/package, installed under /usr by CPack with the debugging data stripped, then checked by
# lintian when it is there.
#   scripts/package.sh          prints the package's path on its last line
# Needs the build packages of scripts/setup.sh.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir="$top/build/package"
# Debian's hardening flags (fortified functions, stack protector, full RELRO with immediate binding).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DWARDLET_WITH_BENCH=OFF "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >/dev/null
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && cpack -G DEB >/dev/null)
package=$(ls "$dir"/wardlet_*_*.deb | head -1)
if command -v lintian >/dev/null 2>&1; then
  lintian --tag-display-limit 0 "$package" || { echo "package.sh: lintian found errors" >&2; exit 1; }
fi
echo "$package"
