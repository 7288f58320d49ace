#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz (scripts/build.sh fuzz) for a bounded time, one after the
# other, from its seeds in tests/fuzz/corpus/<target>/. A crash or a broken invariant fails the
# run; the input that caused it is kept in build/fuzz/crashes/.
#   scripts/fuzz.sh [seconds per target, default 15] [target ...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-15}
shift || true
bin="$top/build/fuzz/bin"
if ! compgen -G "$bin/fuzz_*" >/dev/null; then
  echo "fuzz.sh: no fuzz targets built (scripts/build.sh fuzz skipped or not run); skipped"
  exit 0
fi
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=($(cd "$bin" && ls fuzz_*))

# Inputs past a record or a full mail body reach the readers' size limits.
max_len() {
  case "$1" in
    fuzz_record | fuzz_store_load) echo 5000 ;;
    fuzz_mail_body) echo 20000 ;;
    *) echo 8192 ;;
  esac
}

crashes="$top/build/fuzz/crashes"
mkdir -p "$crashes"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The readers' files go to memory where it can be had, so the disk does not slow the runs.
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_tmp=$(mktemp -d /dev/shm/wardlet-fuzz-XXXXXX) ||
  scratch_tmp="$scratch"
trap 'rm -rf "$scratch" "$scratch_tmp"' EXIT

failed=()
for target in "${targets[@]}"; do
  corpus="$scratch/$target"
  mkdir -p "$corpus"
  log="$scratch/$target.log"
  status=0
  TMPDIR="$scratch_tmp" "$bin/$target" -max_total_time="$seconds" -max_len="$(max_len "$target")" \
    -timeout=25 -print_final_stats=1 -artifact_prefix="$crashes/$target-" \
    "$corpus" "$top/tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    echo "fuzz: $target FAILED after ${runs:-?} executions:"
    grep -E "invariant broken|ERROR:|SUMMARY:|Test unit written" "$log" || tail -20 "$log"
  else
    echo "fuzz: $target ok: ${runs:-?} executions in ${seconds}s (${rate:-?}/s)"
  fi
done
echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
