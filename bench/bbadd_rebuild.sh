#!/usr/bin/env bash
# Rebuilds the held-out chains' backbones from their own C-alpha traces with bbadd (0) and
# prints the RMSD of N, C and O to the native: every residue coil (what modes 2 and 23 see),
# then classes from the DSSP-style assignment (as a seq.dat would give them). Also prints the
# library's load time and memory.
# Usage: bench/bbadd_rebuild.sh [STRUCTURES_DIR [LIBRARY]]   (run from the repository root
# after building the release preset)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-../shared/structures/train}
lib=${2:-data/BBdat}
tools=${VORB_TOOLS:-build/release/vorb-tools}
for classes in coil dssp; do
  echo "== classes: $classes"
  "$tools" bbdat --rebuild "$lib" "$dir" --classes "$classes"
done
