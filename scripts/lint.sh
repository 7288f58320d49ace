#!/usr/bin/env bash
# Checks the tree's conventions; any breach fails with the file and line.
#   - every C++ file formatted as .clang-format says;
#   - floors: no include from a lower folder into a higher one;
#   - files opened only through the file layer of common/ (no open(, fopen( or ifstream elsewhere);
#   - a few clang-tidy checks over the product code (with build/main's compile commands).
#   scripts/lint.sh            all of it (clang-tidy uses build/main's compile commands, or a
#                              configure-only tree of its own in build/lint when there is none)
#   scripts/lint.sh --quick    everything but clang-tidy
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
exec 2>&1  # one stream, so a captured run shows every finding in order
failures=0
fail() {
  echo "lint: $*" >&2
  failures=$((failures + 1))
}

mapfile -t sources < <(git ls-files '*.cpp' '*.h')

# 1. Format.
if ! clang-format --dry-run -Werror "${sources[@]}"; then
  fail "format: run clang-format -i on the files above"
fi

# 2. Floors. Each folder may include only what lies below it; a line here is "folder: forbidden
# prefixes".
floors=(
  "common/: monitor/ mailer/"
  "monitor/model/: monitor/changes/ monitor/engine/ monitor/app/ monitor/dialogs/ monitor/window/ mailer/"
  "monitor/changes/: monitor/engine/ monitor/app/ monitor/dialogs/ monitor/window/ mailer/"
  "monitor/engine/: monitor/app/ monitor/dialogs/ monitor/window/ mailer/"
  "monitor/app/: monitor/dialogs/ monitor/window/ mailer/app/"
  "monitor/dialogs/: monitor/window/ mailer/"
  "monitor/window/: mailer/"
  "mailer/smtp/: mailer/app/ monitor/"
  "mailer/app/: monitor/"
)
for rule in "${floors[@]}"; do
  folder=${rule%%:*}
  for prefix in ${rule#*:}; do
    hits=$(git grep -n "#include \"$prefix" -- "$folder" || true)
    if [ -n "$hits" ]; then
      echo "$hits" >&2
      fail "floors: $folder must not include $prefix"
    fi
  done
done

# 3. One file layer: a raw open, fopen or ifstream outside common/ would be a fourth idiom, and
# the one most likely to follow a link planted in the data folder.
raw=$(git grep -nE '(^|[^_a-zA-Z0-9.>])(::)?open\(.*O_[A-Z]|(^|[^_a-zA-Z0-9])fopen\(|std::[io]?fstream' -- \
  '*.cpp' '*.h' ':!common/' ':!tests/' ':!bench/' || true)
if [ -n "$raw" ]; then
  echo "$raw" >&2
  fail "files: open files through common/ (fd_io.h, atomic_file.h), not directly"
fi

# 4. clang-tidy, on the product code only. The checks find what a review misses and a compiler
# does not warn about: results dropped, objects used after a move, temporaries destroyed at once,
# wrong string comparisons and constructors, signed bytes widened, needless copies.
if [ "${1:-}" != "--quick" ]; then
  checks='-*,bugprone-unused-return-value,bugprone-use-after-move,bugprone-unused-raii'
  checks+=',bugprone-suspicious-string-compare,bugprone-string-constructor,bugprone-dangling-handle'
  checks+=',bugprone-undelegated-constructor,bugprone-infinite-loop,bugprone-sizeof-expression'
  checks+=',bugprone-argument-comment,bugprone-signed-char-misuse,bugprone-integer-division'
  checks+=',performance-move-const-arg,performance-unnecessary-copy-initialization'
  checks+=',misc-unused-using-decls,readability-redundant-string-cstr'
  db="$top/build/main"
  if [ -f "$db/CMakeCache.txt" ]; then
    # A build tree configured before files or libraries were added gives stale compile
    # commands: configuring it again is cheap and brings them up to date.
    cmake -S "$top" -B "$db" >/dev/null
  else
    # Configuring alone writes the compile commands; no product source needs a generated file.
    db="$top/build/lint"
    cmake -S "$top" -B "$db" -G Ninja -DWARDLET_WITH_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
  fi
  mapfile -t units < <(git ls-files '*.cpp' ':!tests/' ':!bench/')
  report=$(printf '%s\n' "${units[@]}" |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$db" --quiet --checks="$checks" 2>/dev/null |
    grep -E '^/.*(warning|error):' || true)
  if [ -n "$report" ]; then
    echo "$report" >&2
    fail "clang-tidy: see above"
  fi
fi

[ "$failures" -eq 0 ] || { echo "lint: $failures check(s) failed" >&2; exit 1; }
echo "lint: clean"
