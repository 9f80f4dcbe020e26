#!/usr/bin/env python3
"""Writes the micro-benchmark model: the first N residues of a native chain that have a
C-alpha, heavy atoms only, numbered 1..N (native.pdb), and their C-alpha trace (trace.pdb).

Usage: python3 bench/make_fixture.py NATIVE.pdb N OUTDIR
"""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import pdbutil  # noqa: E402


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__.strip())
    src, n, out = argv[0], int(argv[1]), Path(argv[2])
    res = []
    for r in pdbutil.residues(pdbutil.read_atoms(src)):
        heavy = [a for a in r if not pdbutil.is_hydrogen(a)]
        if r[0].resname in pdbutil.AFN and any(a.name == " CA " for a in heavy):
            res.append(heavy)
    if len(res) < n:
        sys.exit("%s has only %d residues" % (src, len(res)))
    res = res[:n]
    out.mkdir(parents=True, exist_ok=True)
    pdbutil.write_residues(out / "native.pdb", res)
    pdbutil.write_residues(out / "trace.pdb", [[a for a in r if a.name == " CA "] for r in res])
    ca = [next((a.x, a.y, a.z) for a in r if a.name == " CA ") for r in res]
    print("%s: %d residues, %d heavy atoms, %d C-alpha gaps over 4.2 A" % (
        Path(src).name, n, sum(len(r) for r in res), pdbutil.chain_breaks(ca)))


if __name__ == "__main__":
    main(sys.argv[1:])
