#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the project with sanitizers and runs the test suite under them.
#   scripts/test-sanitizers.sh address   ASan + UBSan, the whole suite (build-asan/)
#   scripts/test-sanitizers.sh thread    TSan, the tests with worker threads (build-tsan/)
# Extra arguments go to ctest.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:-address}"
shift || true
. "$top/scripts/packages.sh"
"$top/scripts/install-deps.sh" "${build_packages[@]}"
case "$kind" in
  address) dir="$top/build-asan"; select=() ;;
  thread)  dir="$top/build-tsan"; select=(-L threads) ;;
  *) echo "usage: $0 [address|thread] [ctest options]" >&2; exit 2 ;;
esac
cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DUDM_SANITIZER="$kind" >/dev/null
cmake --build "$dir" -j"$(nproc)"
cd "$dir"
# Full malloc stacks, so that the suppressions can see which library allocated.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$top/tests/tsan.supp"
export LSAN_OPTIONS="suppressions=$top/tests/lsan.supp"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "${select[@]}" "$@"
