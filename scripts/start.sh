#!/usr/bin/env bash
# Sets everything up, builds, and starts the monitor. Extra arguments go to the program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" main
if [ -x "$top/build/main/bin/Wardlet" ]; then
  exec "$top/build/main/bin/Wardlet" "$@"
fi
# Until the monitor window exists, the command line over the same data folder stands in.
exec "$top/build/main/bin/wardctl" "${@:---help}"
