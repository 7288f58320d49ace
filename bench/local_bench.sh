#!/usr/bin/env bash
# Two costs a user meets without a network, side by side with the plain tools, medians of RUNS
# runs on the disk of build/ (not tmpfs), files in the page cache as on a second pass. Never run
# as a test.
#   - a 1 GiB local file compared with its stored copy: `wardctl check NAME` (the whole command,
#     its write-back included) against `cmp` of the same two files, with wardctl's peak memory;
#   - loading 10,000 documents: `wardctl list` against `cat` of their ".data" files;
#   - marking them checked: `wardctl mark-checked --all` when every record changes.
#   bench/local_bench.sh            RUNS=5 by default; SIZE_MIB=1024, DOCUMENTS=10000
# Needs scripts/build.sh main; installs time (for the peak memory) when it is missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/main/bin"
runs=${RUNS:-5}
size_mib=${SIZE_MIB:-1024}
documents=${DOCUMENTS:-10000}
source "$top/bench/bench_lib.sh"
require_built local_bench "$bin/wardctl" "$bin/make_documents"
ensure_packages time

mkdir -p "$top/build"
work=$(mktemp -d "$top/build/local-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/home"
folder="$XDG_DATA_HOME/Calvorne/Wardlet"

# 1. The big local file: a first check stores the copy, every later one compares.
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$work/big.bin"
"$bin/wardctl" add --type local-file --name big --location "$work/big.bin" >/dev/null
"$bin/wardctl" check big >/dev/null
w=() c=()
for _ in $(seq "$runs"); do
  w+=("$(timed "$bin/wardctl" check big)")
  c+=("$(timed cmp "$work/big.bin" "$folder/big.content")")
done
peak=$(/usr/bin/time -f %M "$bin/wardctl" check big 2>&1 >/dev/null | tail -1)
wm=$(printf '%s\n' "${w[@]}" | median)
cm=$(printf '%s\n' "${c[@]}" | median)
awk -v w="$wm" -v c="$cm" -v p="$peak" -v s="$size_mib" 'BEGIN {
  printf "%d MiB local file: wardctl check %.3fs   cmp %.3fs (%.2fx)   peak %.1f MiB\n",
         s, w, c, w / c, p / 1024 }'
rm -rf "$XDG_DATA_HOME" "$work/big.bin"
sync  # the big file's write-back would slow what follows

# 2. Loading the documents.
mkdir -p "$folder"
"$bin/make_documents" "$folder" "http://127.0.0.1:9/page" "$documents"
w=() c=()
for _ in $(seq "$runs"); do
  w+=("$(timed "$bin/wardctl" list)")
  c+=("$(timed sh -c "cat '$folder'/*.data")")
done
wm=$(printf '%s\n' "${w[@]}" | median)
cm=$(printf '%s\n' "${c[@]}" | median)
awk -v w="$wm" -v c="$cm" -v n="$documents" 'BEGIN {
  printf "%d documents: wardctl list %.3fs   cat of their files %.3fs (%.2fx)\n", n, w, c, w / c }'

# 3. Marking them checked after a pass found them all Unavailable (nothing listens on port 9):
#    every record changes, so every one is written, in one batch.
w=()
for _ in $(seq "$runs"); do
  "$bin/wardctl" check --all >/dev/null || true
  sync  # the pass's own write-back is not the marking's
  w+=("$(timed "$bin/wardctl" mark-checked --all)")
done
again=$(timed "$bin/wardctl" mark-checked --all)
wm=$(printf '%s\n' "${w[@]}" | median)
awk -v w="$wm" -v a="$again" -v n="$documents" 'BEGIN {
  printf "%d documents: wardctl mark-checked --all %.3fs (each record changed), %.3fs (none)\n", n, w, a }'
