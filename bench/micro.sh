#!/usr/bin/env bash
# Micro-benchmarks of the procedures a Monte Carlo trial repeats (imerge 2, hbonds 2, calclash,
# energy_cal) and of backbone re-choice (bbadd 2) and side-chain rebuild (sd_opt), on a fixed
# model: by default the first 150 residues of the held-out chain 1o97_c with its generated
# topology, results in bench/results/micro.txt.
#
#   bash bench/micro.sh [--chain NAME] [--residues N] [BENCHMARK ARGS...]
#
# Another chain or length writes bench/results/micro_NAME_N.txt instead. Remaining arguments go
# to the benchmark program (for example --benchmark_filter=hbonds).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
chain=1o97_c
nres=150
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --chain) chain=$2; shift 2 ;;
    --residues) nres=$2; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
train=""
for d in "$top/.." "$top/../.." "$top/../../.."; do
  if [ -d "$d/shared/structures/train" ]; then train=$(cd "$d/shared/structures/train" && pwd); break; fi
done
[ -n "$train" ] || { echo "micro: shared training set not found" >&2; exit 1; }
cmake --preset bench >/dev/null
cmake --build build/bench -j2 --target vorb_bench vorb-tools
fix=$top/build/bench/fixture
rm -rf "$fix"
python3 bench/make_fixture.py "$train/$chain.pdb" "$nres" "$fix"
if ! build/bench/vorb-tools hdd "$fix/native.pdb" -o "$fix/Hdd"; then
  echo "micro: topology generation failed; the benchmarks will be skipped" >&2
fi
out=bench/results/micro.txt
if [ "$chain" != 1o97_c ] || [ "$nres" != 150 ]; then out=bench/results/micro_${chain}_${nres}.txt; fi
mkdir -p bench/results
{
  echo "model: $chain residues 1-$nres; commit $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- src || echo ' with local changes'); $(date '+%Y-%m-%d %H:%M')"
  VORB_BENCH_FIXTURE=$fix VORB_BENCH_PDB=$train/2pia_a.pdb build/bench/bench/vorb_bench \
    "${args[@]+"${args[@]}"}" 2>&1
} | tee "$out.tmp"
mv "$out.tmp" "$out"
echo "written to $out"
