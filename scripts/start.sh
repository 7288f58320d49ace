#!/usr/bin/env bash
# Sets everything up, builds, and starts the monitor. Extra arguments go to the program
# (for example /hide).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" main
exec "$top/build/main/bin/Wardlet" "$@"
