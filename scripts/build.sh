#!/usr/bin/env bash
# Configures and builds one flavour of the tree under build/.
#   scripts/build.sh            the full build (both programs, wardctl, tests, benchmarks) in build/main,
#                               warnings as errors
#   scripts/build.sh asan       the display-free core with AddressSanitizer and UBSan in build/asan
#   scripts/build.sh tsan       the display-free core with ThreadSanitizer in build/tsan
#   scripts/build.sh fuzz       the file and reply readers' libFuzzer targets (clang) in build/fuzz;
#                               skipped with a message where clang or libFuzzer is missing
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-main}
case "$flavour" in
  main) extra=(-DWARDLET_WERROR=ON) ;;
  asan) extra=(-DWARDLET_WITH_QT=OFF -DWARDLET_WITH_BENCH=OFF -DWARDLET_SANITIZERS=address,undefined) ;;
  tsan) extra=(-DWARDLET_WITH_QT=OFF -DWARDLET_WITH_BENCH=OFF -DWARDLET_SANITIZERS=thread) ;;
  fuzz)
    extra=(-DCMAKE_CXX_COMPILER=clang++ -DWARDLET_FUZZ=ON -DWARDLET_WITH_QT=OFF -DBUILD_TESTING=OFF
      -DWARDLET_WITH_BENCH=OFF -DWARDLET_SANITIZERS=fuzzer-no-link,address,undefined)
    probe=$(mktemp -d)
    echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
      >"$probe/probe.cpp"
    if ! command -v clang++ >/dev/null 2>&1 ||
       ! clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1; then
      rm -rf "$probe"
      echo "build.sh: fuzz flavour skipped: clang++ with libFuzzer is not installed"
      exit 0
    fi
    rm -rf "$probe"
    ;;
  *) echo "build.sh: unknown flavour '$flavour' (main, asan, tsan or fuzz)" >&2; exit 2 ;;
esac
dir="$top/build/$flavour"
# ccache, where a developer has it, lets several work trees share one another's objects.
if command -v ccache >/dev/null 2>&1; then
  extra+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$top")}
fi
cmake -S "$top" -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
