#!/usr/bin/env bash
# Completion of C-alpha traces (VORB 23) on the held-out chains: for each chain, its C-alpha
# trace and topology are made from the native, VORB 23 builds the model with the shipped
# library, and vorb-tools score compares it with the native. Prints one row per chain and the
# means: backbone (N, C, O) and side-chain RMSD, chi1 within 40 degrees, missing heavy atoms,
# C-alpha clashes (model / native), wall time and peak memory of the VORB run.
# Usage: bench/mode23.sh [STRUCTURES_DIR [LIBRARY]]   (from the repository root, after building
# the release preset; VORB_BIN and VORB_TOOLS override the programs)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(realpath "${1:-../shared/structures/train}")
lib=$(realpath "${2:-data/BBdat}")
vorb=$(realpath "${VORB_BIN:-build/release/VORB}")
tools=$(realpath "${VORB_TOOLS:-build/release/vorb-tools}")
[ -x /usr/bin/time ] || { echo "mode23: /usr/bin/time not found (apt-get install time)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Held-out files: 0-based positions 9, 19, 29, ... of the *.pdb files sorted by name.
mapfile -t files < <(find "$dir" -maxdepth 1 -name '*.pdb' -printf '%f\n' | LC_ALL=C sort |
                     awk 'NR % 10 == 0')
field() { awk -F': ' -v k="$1" '$1 == k { print $2 }' "$2"; }

printf '%-12s %5s %7s %7s %6s %5s %7s %7s %7s\n' chain res bb_rmsd sc_rmsd chi1 miss \
  clashes time_s peak_MB
for f in "${files[@]}"; do
  name=${f%.pdb}
  d="$work/$name"
  mkdir -p "$d"
  ( cd "$d"
    "$tools" ca-trace "$dir/$f" trace.pdb 2>/dev/null
    "$tools" hdd "$dir/$f" -o Hdd >/dev/null 2>&1
    /usr/bin/time -f '%e %M' -o time.txt "$vorb" 23 trace.pdb "$lib" >vorb.out 2>vorb.err
    "$tools" score --by-order "$dir/$f" trace.pdb.h >score.txt ) || { printf '%-12s failed\n' "$name"; continue; }
  read -r secs kb <"$d/time.txt"
  printf '%-12s %5s %7s %7s %6s %5s %3s/%-3s %7s %7.1f\n' "$name" \
    "$(field residues_matched "$d/score.txt")" "$(field rmsd_backbone_n_c_o "$d/score.txt")" \
    "$(field rmsd_sidechain "$d/score.txt")" "$(field chi1_within_40 "$d/score.txt")" \
    "$(field heavy_atoms_missing "$d/score.txt")" "$(field ca_clashes_below_3.6 "$d/score.txt")" \
    "$(field native_ca_pairs_below_3.6 "$d/score.txt")" "$secs" "$(echo "$kb" | awk '{print $1 / 1024}')"
done | tee "$work/rows.txt"
awk 'NF == 9 { n++; r += $2; bb += $3; sc += $4; chi += $5; m += $6; t += $8; p += $9;
               if ($9 > pm) pm = $9; if ($8 > tm) tm = $8 }
     END { if (n) printf "%-12s %5.0f %7.3f %7.3f %6.3f %5.1f %7s %7.3f %7.1f\n%s %d chains; slowest %.2f s, largest %.1f MB\n",
           "mean", r / n, bb / n, sc / n, chi / n, m / n, "", t / n, p / n, "#", n, tm, pm }' \
  "$work/rows.txt"
