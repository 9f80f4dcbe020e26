#!/usr/bin/env bash
# Wall time of the one-command path (`vorb-tools rebuild --ca`) on real inputs: single chains of
# 76, 129 and (with ../shared) 580 residues, a two-chain complex, a chain with a break.
#   bash bench/rebuild_inputs.sh [TOOLS...]      (default: build/release/vorb-tools)
# Prints per tool and input the least of 3 wall times and of 3 CPU times (user + system, this
# process and its children), in seconds. Run from the project root.
set -euo pipefail
root=$(pwd)
tools=("$@")
[ ${#tools[@]} -eq 0 ] && tools=("$root/build/release/vorb-tools")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/1ubi_a.pdb examples/1dpx_a.pdb "$work/"
{ grep '^ATOM' examples/1ubi_a.pdb; echo TER;
  grep -E '^(ATOM|HETATM)' examples/1dpx_a.pdb | sed 's/^\(.\{21\}\)A/\1B/'; echo END; } > "$work/complex.pdb"
awk '!(/^ATOM/ && substr($0, 23, 4) + 0 >= 40 && substr($0, 23, 4) + 0 <= 44)' examples/1dpx_a.pdb > "$work/broken.pdb"
inputs=(1ubi_a.pdb 1dpx_a.pdb complex.pdb broken.pdb)
big=$(ls "$root"/../shared/structures/train/1w99_a.pdb 2>/dev/null || true)
[ -n "$big" ] && cp "$big" "$work/" && inputs+=(1w99_a.pdb)
for t in "${tools[@]}"; do
  t=$(realpath "$t")
  for f in "${inputs[@]}"; do
    best="" cpu=""
    for _ in 1 2 3; do
      TIMEFORMAT="%R %U %S"
      if ! w=$( { time (cd "$work" && "$t" rebuild "$f" --ca -o out.pdb > /dev/null 2>&1); } 2>&1 ); then
        best=failed
        break
      fi
      read -r real user sys <<< "$w"
      c=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
      if [ -z "$best" ] || awk -v a="$real" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$real; fi
      if [ -z "$cpu" ] || awk -v a="$c" -v b="$cpu" 'BEGIN { exit !(a < b) }'; then cpu=$c; fi
    done
    printf '%s\t%s\twall %s\tcpu %s\n' "$t" "$f" "$best" "$cpu"
  done
done
