#!/usr/bin/env bash
# Bounded fuzzing sessions under AddressSanitizer and UndefinedBehaviorSanitizer: builds the
# libFuzzer harnesses of fuzz/ with clang and runs each for SECONDS from the committed corpus.
# New inputs go to build/fuzz/corpus/<harness> (the committed corpus is only read); a finding
# stops the script and is saved as build/fuzz/findings/<harness>-crash-... (replay it with
# build/release/fuzz/fuzz_<harness>_replay FILE). The seed is fixed so a session is repeatable.
# Usage: scripts/fuzz.sh [SECONDS [HARNESS...]]
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)  # the run harness changes its working directory: paths given to it are absolute
secs=${1:-60}
shift || true
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  harnesses=(structure topology library prhb restraints hdd run)
fi
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORB_SANITIZE=ON -DVORB_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_$h"); done
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
mkdir -p "$build/findings"
for h in "${harnesses[@]}"; do
  # A topology holds 1369 propensity records, so its inputs are longer than the others.
  max_len=8192
  [ "$h" = topology ] && max_len=131072
  [ "$h" = run ] && max_len=65536
  mkdir -p "$build/corpus/$h"
  echo "== fuzz_$h for ${secs}s"
  set +e  # the fuzzer's own status is checked below; grep may match nothing
  "$build/fuzz/fuzz_$h" -seed=1 -max_total_time="$secs" -max_len="$max_len" -timeout=20 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$top/$build/findings/$h-" \
    "$top/$build/corpus/$h" "$top/fuzz/corpus/$h" 2>&1 | grep -E "^(Done [0-9]+ runs|==|stat::|SUMMARY)|ERROR|Test unit written"
  status=${PIPESTATUS[0]}
  set -e
  if ls "$build/findings/$h-"* >/dev/null 2>&1; then
    echo "fuzz_$h: finding saved in $build/findings" >&2
    exit 1
  fi
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$h: the fuzzer ended with status $status" >&2
    exit 1
  fi
done
