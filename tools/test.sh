#!/usr/bin/env bash
# One command: install what is missing, build, and run the whole test suite.
#   tools/test.sh              normal build in build/
#   tools/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
dir="$root/build"
opts=()
if [ "${1:-}" = "--sanitize" ]; then
  dir="$root/build-asan"
  opts+=(-DQUORVANE_SANITIZE=ON -DQUORVANE_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tools/lsan.supp}
fi
[ -n "${CI:-}" ] && opts+=(-DQUORVANE_WERROR=ON)
"$root/tools/build.sh" "$dir" "${opts[@]}"
cd "$dir"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
