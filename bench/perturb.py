#!/usr/bin/env python3
"""Perturbs a C-alpha trace the way coarse models err: Gaussian noise on every coordinate and
C-alpha records removed in two gaps (residue numbers kept).

  python3 bench/perturb.py IN.pdb OUT.pdb [--noise SIGMA] [--gaps FRACTION] [--seed N]

--noise: standard deviation in A added to x, y and z of every atom (default 0.5; 0 keeps the
coordinates). --gaps: fraction of the residues removed in two runs of about equal length,
starting a quarter and three quarters of the way along the chain (default 0: none; at least two
residues when above 0). The random stream is Python's Mersenne Twister seeded with --seed
(default 15), so a given input, size and seed always give the same file. Only ATOM records of
the first model are read (up to TER/END); the removed residue numbers go to standard output.
"""

import argparse
import random
import sys


def read_lines(path):
    out = []
    with open(path, encoding="latin-1") as f:
        for raw in f:
            line = raw.rstrip("\r\n")
            if line.startswith(("TER", "END")):
                break
            if line.startswith("ATOM"):
                out.append(line.ljust(80))
    return out


def residue_keys(lines):
    keys = []
    for line in lines:
        k = line[22:27]
        if not keys or keys[-1] != k:
            keys.append(k)
    return keys


def gap_residues(keys, frac):
    """Two runs of residue keys, about frac of the chain in all, from 1/4 and 3/4 along."""
    n = len(keys)
    if frac <= 0 or n < 8:
        return set()
    k = max(2, round(frac * n))
    g1, g2 = k // 2, k - k // 2
    s1, s2 = n // 4, (3 * n) // 4
    return {keys[i] for i in list(range(s1, s1 + g1)) + list(range(s2, min(n, s2 + g2)))}


def perturb(lines, noise, frac, seed):
    rng = random.Random(seed)
    drop = gap_residues(residue_keys(lines), frac)
    out = []
    for line in lines:
        # Every atom draws its three numbers, removed or not, so the noise of a residue does not
        # depend on the gaps.
        d = [rng.gauss(0.0, noise) if noise > 0 else 0.0 for _ in range(3)]
        if line[22:27] in drop:
            continue
        xyz = [float(line[30 + 8 * a:38 + 8 * a]) + d[a] for a in range(3)]
        out.append(line[:30] + "%8.3f%8.3f%8.3f" % tuple(xyz) + line[54:].rstrip())
    return out, sorted(drop, key=lambda k: (int(k[:4]), k[4]))


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("input")
    p.add_argument("output")
    p.add_argument("--noise", type=float, default=0.5)
    p.add_argument("--gaps", type=float, default=0.0)
    p.add_argument("--seed", type=int, default=15)
    a = p.parse_args(argv)
    out, removed = perturb(read_lines(a.input), a.noise, a.gaps, a.seed)
    with open(a.output, "w") as f:
        f.write("".join(line + "\n" for line in out) + "TER\nEND\n")
    print("removed", " ".join(k.strip() for k in removed) if removed else "none")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
