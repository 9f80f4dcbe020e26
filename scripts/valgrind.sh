#!/usr/bin/env bash
# One end-to-end run of every mode under valgrind memcheck, on the shipped example chain: the
# analysis and hydrogen modes on the full chain, the building modes on its C-alpha trace with
# the shipped fragment library, the template modes with the trace itself as template and the
# restraint file mode 6 wrote as PRHB; mode 31 on the trace with a gap of five C-alpha atoms.
# Prints each run's exit status and memcheck summary; exits 1 if memcheck reported an error.
# Usage: scripts/valgrind.sh [MODE...]
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
modes=("$@")
if [ ${#modes[@]} -eq 0 ]; then
  modes=(1 5 6 66 7 8 23 2 3 31 4)
fi
build=build/valgrind
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target VORB vorb-tools >/dev/null
work=$build/runs
rm -rf "$work"
mkdir -p "$work"
cd "$work"
"$top/$build/vorb-tools" ca-trace "$top/examples/1ubi_a.pdb" trace.pdb >/dev/null
"$top/$build/vorb-tools" hdd trace.pdb -o Hdd >/dev/null
cp "$top/examples/1ubi_a.pdb" full.pdb
awk '!(/^ATOM/ && substr($0, 23, 4) + 0 >= 30 && substr($0, 23, 4) + 0 <= 34)' trace.pdb > gap.pdb
failed=0
for m in "${modes[@]}"; do
  case $m in
    1 | 5 | 6 | 66 | 7 | 8) args="full.pdb" ;;
    31) args="gap.pdb $top/data/BBdat trace.pdb" ;;
    3 | 4) args="trace.pdb $top/data/BBdat trace.pdb" ;;
    *) args="trace.pdb $top/data/BBdat" ;;
  esac
  if [ "$m" = 3 ] || [ "$m" = 31 ] || [ "$m" = 4 ]; then
    [ -f PRHB2 ] && cp PRHB2 PRHB
  fi
  set +e
  valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
    --log-file="valgrind.$m.log" "$top/$build/VORB" $m $args >"out.$m" 2>"err.$m"
  status=$?
  set -e
  summary=$(grep -h "ERROR SUMMARY" "valgrind.$m.log" | sed 's/^==[0-9]*== //')
  note=""
  [ -s "err.$m" ] && note=" ($(head -1 "err.$m"))"
  echo "VORB $m: exit $status; $summary$note"
  if [ "$status" = 99 ]; then failed=1; fi
done
echo "logs in $work"
exit $failed
