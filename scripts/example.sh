#!/usr/bin/env bash
# The main job on the shipped example: build, turn examples/1ubi_a.pdb into a C-alpha trace,
# generate its topology, complete it into a full heavy-atom model with VORB 23 and the shipped
# fragment library, and score the model against the native chain.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build build/release -j"$(nproc)" --target VORB vorb-tools
bin=$top/build/release
work=$top/out/example
rm -rf "$work"
mkdir -p "$work"
cd "$work"
"$bin/vorb-tools" ca-trace "$top/examples/1ubi_a.pdb" ubi_ca.pdb
"$bin/vorb-tools" hdd ubi_ca.pdb -o Hdd
"$bin/VORB" 23 ubi_ca.pdb "$top/data/BBdat"
"$bin/vorb-tools" score --by-order "$top/examples/1ubi_a.pdb" ubi_ca.pdb.h
echo "model written to $work/ubi_ca.pdb.h"
# The same trace in one command, side chains packed, in the input's frame and numbering.
"$bin/vorb-tools" rebuild "$top/examples/1ubi_a.pdb" --ca -o model.pdb
"$bin/vorb-tools" score "$top/examples/1ubi_a.pdb" model.pdb
echo "packed model written to $work/model.pdb"
