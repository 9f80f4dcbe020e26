#!/usr/bin/env bash
# The rotamer library's figures on the held-out chains: native chi1 against the library's
# rotamers at the native backbone's phi/psi, then at the phi/psi of the backbone that
# `vorb-tools rebuild --ca` (mode 23) builds on each chain's C-alpha trace.
# Usage: bench/rotamers_check.sh [STRUCTURES_DIR [LIBRARY]]   (run from the repository root
# after building the release preset)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-../shared/structures/train}
lib=${2:-data/rotamers}
tools=${VORB_TOOLS:-build/release/vorb-tools}
models=$(mktemp -d)
trap 'rm -rf "$models"' EXIT
echo "== native backbones"
"$tools" rotamers --check "$lib" "$dir"
# The held-out files: positions 9, 19, 29, ... of the sorted *.pdb files (tools/holdout.hpp).
i=0
for f in $(ls "$dir"/*.pdb | LC_ALL=C sort); do
  if (( i % 10 == 9 )); then
    "$tools" rebuild "$f" --ca -o "$models/$(basename "$f")" > /dev/null
  fi
  i=$((i + 1))
done
echo "== mode 23 backbones rebuilt on the C-alpha traces"
"$tools" rotamers --check "$lib" "$dir" --backbone "$models"
