#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default: 60 s each, all targets
# Targets: intelhex bitheader biximage boardfile iovalues firmwarecore
# hostileboard. Findings are saved
# in build-fuzz/findings/ (a finding fails the run: check it in as a seed in
# fuzz/corpus/<target>/ with a regression test once fixed); the checked-in
# seeds are never changed: each run works on a copy in build-fuzz/corpus/.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(intelhex bitheader biximage boardfile iovalues firmwarecore hostileboard)
. "$top/scripts/packages.sh"
# clang builds the targets; libclang-rt-14-dev holds libFuzzer and the sanitizer runtimes.
"$top/scripts/install-deps.sh" "${build_packages[@]}" clang libclang-rt-14-dev
dir="$top/build-fuzz"
cmake -S "$top" -B "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUDM_FUZZ=ON \
  -DUDM_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"
mkdir -p "$dir/findings"
for t in "${targets[@]}"; do
  mkdir -p "$dir/corpus/$t"
  rm -f "$dir/findings/$t-"*
  cp -n "$top/fuzz/corpus/$t/"* "$dir/corpus/$t/" 2>/dev/null || true
  echo "fuzz: $t for $seconds s"
  "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix="$dir/findings/$t-" \
    "$dir/corpus/$t" 2>&1 | grep -E '^(stat::|#[0-9]+ +DONE|==[0-9]+==|SUMMARY)' || true
  if ls "$dir/findings/$t-"* >/dev/null 2>&1; then
    echo "fuzz: $t FOUND something: $(ls "$dir/findings/$t-"*)" >&2
    exit 1
  fi
done
