#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent; runs as root (or through sudo) with no input.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format clang-tidy clang libclang-rt-14-dev
  qt6-base-dev qt6-multimedia-dev libgl-dev
  libcurl4-openssl-dev libssl-dev
  libgtest-dev libbenchmark-dev
  media-types ca-certificates openssl curl
  libyaml-cpp-dev nlohmann-json3-dev libxml2-dev libgit2-dev libre2-dev
  python3 python3-pyftpdlib python3-aiosmtpd python3-openssl urlwatch systemd nginx-light
  dbus-daemon dbus-bin python3-dbusmock python3-dbus
  xvfb openbox trayer xdotool xclip imagemagick x11-utils gdb
  dpkg-dev lintian desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && { echo "setup: all packages present"; exit 0; }

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
