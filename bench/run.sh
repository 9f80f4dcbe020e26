#!/usr/bin/env bash
# Accuracy, speed and memory benchmark: builds VORB and vorb-tools (release), then runs every
# native structure through the modes and writes bench/results/REPORT.md with its plots.
#
#   bash bench/run.sh [DIR] [--modes 23,3,1,5] [--jobs N] [--limit K] [--quick] [--no-build]
#
# DIR defaults to the held-out part of the shared training set. --quick runs the five smallest
# structures as a smoke check and writes to out/bench-quick/. `bash bench/run.sh --help` lists
# every option.
set -euo pipefail
cd "$(dirname "$0")/.."
build=1
args=()
for a in "$@"; do
  case "$a" in
    --no-build) build=0 ;;
    -h|--help) exec python3 bench/harness.py --help ;;
    *) args+=("$a") ;;
  esac
done
for tool in python3 /usr/bin/time gnuplot; do
  command -v "$tool" >/dev/null || echo "bench: $tool not found (apt-get install python3 time gnuplot-nox)" >&2
done
if [ "$build" = 1 ]; then
  cmake --preset release >/dev/null
  cmake --build build/release -j2 --target VORB vorb-tools
fi
exec python3 bench/harness.py "${args[@]+"${args[@]}"}"
