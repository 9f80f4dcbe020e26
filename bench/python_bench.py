#!/usr/bin/python3
"""The Python module against one process per model: time per trace and memory over many calls.

Completes COUNT copies of a 150-residue C-alpha trace (an ideal helix carrying the sequences
of the shipped examples, each copy moved by a different offset) in one process with vorb.complete_trace, then
the same traces with one `vorb-tools rebuild --ca` process each, and prints seconds per trace,
the ratio and the resident memory of this process after 10 calls and after all of them.

usage: /usr/bin/python3 bench/python_bench.py [--count N] [--build DIR]   (default 1000, build/release)
"""
import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
THREE = "GLY ALA SER CYS VAL THR ILE PRO MET ASP ASN LEU LYS GLU GLN ARG HIS PHE TYR TRP".split()
ONE = "GASCVTIPMDNLKEQRHFYW"


def rss_mb():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return 0.0


def trace(n):
    import math
    seq = ""
    for name in ("1dpx_a.pdb", "1ubi_a.pdb"):
        with open(os.path.join(SOURCE, "examples", name)) as f:
            for line in f:
                if line.startswith("ATOM") and line[12:16] == " CA ":
                    seq += ONE[THREE.index(line[17:20])]
    # C-alpha atoms of an ideal helix: radius 2.3 A, 100 degrees and 1.5 A per residue.
    rows = [[2.3 * math.cos(math.radians(100 * i)), 2.3 * math.sin(math.radians(100 * i)), 1.5 * i]
            for i in range(n)]
    return rows, seq[:n]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--count", type=int, default=1000)
    ap.add_argument("--build", default=os.path.join(SOURCE, "build", "release"))
    a = ap.parse_args()
    sys.path.insert(0, os.path.join(a.build, "python"))
    import numpy as np
    import vorb

    rows, seq = trace(150)
    base = np.array(rows)
    vorb.complete_trace(base, seq)  # reads the data directory once
    t0 = time.perf_counter()
    cpu0 = time.process_time()
    for k in range(a.count):
        vorb.complete_trace(base + 0.001 * k, seq)
        if k == 9:
            rss10 = rss_mb()
    wall = time.perf_counter() - t0
    cpu = time.process_time() - cpu0
    rss_end = rss_mb()

    # The module's own cost: the same calls less the C++ work alone on the same trace text.
    text = "".join("ATOM  %5d  CA  %3s A%4d    %8.3f%8.3f%8.3f  1.00  0.00           C\n"
                   % (i + 1, THREE[ONE.index(c)], i + 1, p[0], p[1], p[2])
                   for i, (p, c) in enumerate(zip(base, seq))) + "TER\nEND\n"
    n = min(a.count, 200)
    both = [0.0, 0.0]
    for k in range(n):
        for j, f in enumerate((lambda: vorb._complete_text(text, seq), lambda: vorb.complete_trace(base, seq))):
            t = time.process_time()
            f()
            both[j] += time.process_time() - t
    overhead = (both[1] - both[0]) / n

    tools = os.path.join(a.build, "vorb-tools")
    with tempfile.TemporaryDirectory() as d:
        for k in range(a.count):
            with open(os.path.join(d, "t%d.pdb" % k), "w") as f:
                for i, (p, c) in enumerate(zip(base + 0.001 * k, seq)):
                    f.write("ATOM  %5d  CA  %3s A%4d    %8.3f%8.3f%8.3f  1.00  0.00           C\n"
                            % (i + 1, THREE[ONE.index(c)], i + 1, p[0], p[1], p[2]))
        t1 = time.perf_counter()
        c1 = resource.getrusage(resource.RUSAGE_CHILDREN)
        for k in range(a.count):
            subprocess.run([tools, "rebuild", "t%d.pdb" % k, "--ca", "-o", "m%d.pdb" % k], cwd=d,
                           check=True, stdout=subprocess.DEVNULL)
        proc = time.perf_counter() - t1
        c2 = resource.getrusage(resource.RUSAGE_CHILDREN)
        proc_cpu = (c2.ru_utime + c2.ru_stime) - (c1.ru_utime + c1.ru_stime)
    print("traces: %d of %d residues" % (a.count, len(seq)))
    print("in process: %.4f s per trace (wall), %.4f s CPU" % (wall / a.count, cpu / a.count))
    print("one process each: %.4f s per trace (wall), %.4f s CPU" % (proc / a.count, proc_cpu / a.count))
    print("ratio: %.2f (wall), %.2f (CPU)" % (proc / wall, proc_cpu / cpu))
    print("the module's own cost per call: %.2f ms CPU (over %d calls each way, alternated)"
          % (1000 * overhead, n))
    print("resident memory: %.1f MB after 10 calls, %.1f MB after %d (growth %.2f MB)"
          % (rss10, rss_end, a.count, rss_end - rss10))


if __name__ == "__main__":
    main()
