#!/usr/bin/env bash
# Sets everything up and runs every test: the full build (warnings as errors) and the tree's
# conventions, the Debian package, then the core again under AddressSanitizer/UBSan and the check
# engine under ThreadSanitizer, and a short fuzzing run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
jobs=$(nproc)

"$top/scripts/build.sh" main
# The conventions (format, include floors, the file layer, clang-tidy) before any test runs.
"$top/scripts/lint.sh"
ctest --test-dir "$top/build/main" --output-on-failure -j "$jobs"
# The Debian package, from a release build of its own.
"$top/tests/resources/package_test.sh" "$top"

"$top/scripts/build.sh" asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$top/build/asan" --output-on-failure -j "$jobs"

"$top/scripts/build.sh" tsan
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir "$top/build/tsan" --output-on-failure -j "$jobs" -L tsan

# The file and reply readers under libFuzzer, 15 s a target (skipped where clang lacks it).
"$top/scripts/build.sh" fuzz
"$top/scripts/fuzz.sh" 15
