#!/usr/bin/env python3
"""Coarse models: refinement of noisy and gapped C-alpha traces, scored against the natives.

For every held-out chain of the shared training set (or the structures given): its C-alpha
trace (`vorb-tools ca-trace`, numbered 1..n), a noisy copy (bench/perturb.py, Gaussian noise of
--noise A on every coordinate, seed --seed) and a noisy copy without --gaps of its C-alpha
atoms in two runs. Runs, each through `vorb-tools rebuild` in a directory of its own:

  noisy   m23        mode 23, --regularize off (the program on the trace as it is)
          m23-def    mode 23 with the defaults (the regulariser when the trace needs it)
          m3-none    mode 3 --no-template --regularize off (rebuild's mode 3 before)
          m3-self    mode 3, the noisy trace as template, --regularize off
          m3-reg     mode 3 --no-template --regularize on
          m3-def     mode 3 with the defaults (trace as template, regulariser auto)
          m3-tin     mode 3, regulariser auto, the unregularised trace as template
  gapped  m31-seq    mode 31 --sequence (the whole chain's sequence) with the defaults
          m31-prog   VORB 31 directly, topology of the whole chain (the set-up of the issue)
  exact   x23, x23-def, x3-none, x3-def   the same runs on the exact trace

Figures per model: `vorb-tools score NATIVE MODEL` (backbone H-bonds recovered, C-alpha pairs
two or more apart below 3.6 A, steps above 4.2 A), C-alpha RMSD to the native after
superposition (over the residues the model has), residues modelled. Rows go to
out/bench-coarse/coarse.tsv; --report writes the table into bench/results/REPORT.md between
its own markers, leaving the rest of the file alone.

  python3 bench/coarse_table.py [--jobs 2] [--runs m3-def,m23] [--limit K] [--train K]
                                [--bin DIR] [--work DIR] [--report] [STRUCTURE.pdb ...]

--train K takes K chains of the training part instead (for tuning).
"""

import argparse
import concurrent.futures
import csv
import os
import re
import shutil
import statistics
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import pdbutil  # noqa: E402
import perturb  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
BIN = ROOT / "build" / "release"
TOOLS = BIN / "vorb-tools"
VORB = BIN / "VORB"
LIB = ROOT / "data" / "BBdat"

RUNS = {
    "m23": ("noisy", ["--mode", "23", "--regularize", "off"]),
    "m23-def": ("noisy", ["--mode", "23"]),
    "m3-none": ("noisy", ["--mode", "3", "--no-template", "--regularize", "off"]),
    "m3-self": ("noisy", ["--mode", "3", "--regularize", "off"]),
    "m3-reg": ("noisy", ["--mode", "3", "--no-template", "--regularize", "on"]),
    "m3-def": ("noisy", ["--mode", "3"]),
    "m3-tin": ("noisy", ["--mode", "3", "--template", "@IN"]),
    "m31-seq": ("gapped", ["--mode", "31", "--sequence", "@SEQ"]),
    "m31-prog": ("gapped", None),
    "x23": ("exact", ["--mode", "23", "--regularize", "off"]),
    "x23-def": ("exact", ["--mode", "23"]),
    "x3-none": ("exact", ["--mode", "3", "--no-template", "--regularize", "off"]),
    "x3-def": ("exact", ["--mode", "3"]),
}
COLS = ["chain", "residues", "run", "status", "cpu_s", "modelled", "ca_rmsd", "hb_recovered",
        "ca_pairs", "ca_steps", "note"]
ONE = {"GLY": "G", "ALA": "A", "SER": "S", "CYS": "C", "VAL": "V", "THR": "T", "ILE": "I",
       "PRO": "P", "MET": "M", "ASP": "D", "ASN": "N", "LEU": "L", "LYS": "K", "GLU": "E",
       "GLN": "Q", "ARG": "R", "HIS": "H", "PHE": "F", "TYR": "Y", "TRP": "W"}


def shared():
    for parent in [ROOT] + list(ROOT.parents):
        if (parent / "shared" / "structures" / "train").is_dir():
            return parent / "shared" / "structures" / "train"
    sys.exit("no shared/structures/train found")


def chains(opt):
    if opt.structures:
        return [Path(s).resolve() for s in opt.structures]
    files = sorted(shared().glob("*.pdb"), key=lambda p: p.name)
    if opt.train:
        part = [f for i, f in enumerate(files) if i % 10 != 9]
        step = max(1, len(part) // opt.train)
        return part[::step][:opt.train]
    return [f for i, f in enumerate(files) if i % 10 == 9]


def score(native, model):
    out = subprocess.run([str(TOOLS), "score", str(native), str(model)], capture_output=True,
                         text=True).stdout
    vals = dict(l.split(": ", 1) for l in out.splitlines() if ": " in l)
    return vals


def trace_figures(path):
    ca = pdbutil.ca_by_resnum(path)
    keys = sorted(ca)
    steps = sum(1 for a, b in zip(keys, keys[1:]) if b == a + 1 and
                pdbutil.math.dist(ca[a], ca[b]) > 4.2)
    pairs = sum(1 for i, a in enumerate(keys) for b in keys[i + 1:]
                if b - a >= 2 and pdbutil.math.dist(ca[a], ca[b]) < 3.6)
    return pairs, steps


def prepare(native, work, opt):
    work.mkdir(parents=True, exist_ok=True)
    t = work / "t.pdb"
    if not t.exists():
        subprocess.run([str(TOOLS), "ca-trace", str(native), str(t)], check=True,
                       capture_output=True)
    lines = perturb.read_lines(t)
    for name, frac in (("noisy.pdb", 0.0), ("gapped.pdb", opt.gaps)):
        out, _ = perturb.perturb(lines, opt.noise, frac, opt.seed)
        (work / name).write_text("".join(l + "\n" for l in out) + "TER\nEND\n")
    seq = "".join(ONE[l[17:20]] for l in lines if l[12:16] == " CA ")
    return len(lines), seq


def one_run(native, work, nres, seq, run):
    kind, args = RUNS[run]
    d = work / run
    shutil.rmtree(d, ignore_errors=True)
    d.mkdir()
    src = {"noisy": "noisy.pdb", "gapped": "gapped.pdb", "exact": "t.pdb"}[kind]
    row = {"chain": native.stem, "residues": nres, "run": run, "note": ""}
    r0 = os.times()
    if args is None:
        subprocess.run([str(TOOLS), "hdd", str(work / "t.pdb"), "-o", "Hdd"], cwd=d,
                       capture_output=True, check=True)
        shutil.copy(work / src, d / "in.pdb")
        p = subprocess.run([str(VORB), "31", "in.pdb", str(LIB)], cwd=d, capture_output=True,
                           text=True)
        model = d / "in.pdb.h"
        status = p.returncode if model.exists() else "no model"
        if not model.exists():
            row["note"] = (p.stderr.strip().splitlines() or [""])[-1][:60]
    else:
        args = [seq if a == "@SEQ" else str(work / src) if a == "@IN" else a for a in args]
        model = d / "model.pdb"
        p = subprocess.run([str(TOOLS), "rebuild", str(work / src)] + args + ["-o", str(model)],
                           cwd=d, capture_output=True, text=True)
        status = p.returncode
        m = re.search(r"trace regularized: (.*)", p.stdout)
        if m:
            row["note"] = "regularized"
        if p.returncode != 0:
            row["note"] = (p.stderr.strip().splitlines() or [""])[-1][:60]
    r1 = os.times()
    row["cpu_s"] = "%.2f" % ((r1.children_user - r0.children_user) +
                             (r1.children_system - r0.children_system))
    row["status"] = status
    if model.exists():
        n, _, sup = pdbutil.ca_rmsd(model, work / "t.pdb")
        row["modelled"] = n
        row["ca_rmsd"] = "%.3f" % sup if sup is not None else ""
        s = score(native, model) if n == nres else {}
        row["hb_recovered"] = s.get("hbonds_recovered", "")
        pairs, steps = trace_figures(model)
        row["ca_pairs"], row["ca_steps"] = pairs, steps
    return row


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("structures", nargs="*")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--runs", default=",".join(RUNS))
    ap.add_argument("--limit", type=int, default=0)
    ap.add_argument("--train", type=int, default=0)
    ap.add_argument("--noise", type=float, default=0.5)
    ap.add_argument("--gaps", type=float, default=0.05)
    ap.add_argument("--seed", type=int, default=15)
    ap.add_argument("--work", default=str(ROOT / "out" / "bench-coarse"))
    ap.add_argument("--report", action="store_true")
    ap.add_argument("--bin", default=str(BIN), help="directory of VORB and vorb-tools")
    opt = ap.parse_args(argv)
    global TOOLS, VORB
    TOOLS, VORB = Path(opt.bin) / "vorb-tools", Path(opt.bin) / "VORB"
    runs = [r for r in opt.runs.split(",") if r]
    files = chains(opt)[:opt.limit or None]
    work = Path(opt.work)
    work.mkdir(parents=True, exist_ok=True)
    tsv = work / "coarse.tsv"
    old = []
    if tsv.exists():
        with open(tsv) as f:
            old = [r for r in csv.DictReader(f, delimiter="\t")
                   if not (r["run"] in runs and r["chain"] in {p.stem for p in files})]
    rows = []
    jobs = []
    with concurrent.futures.ThreadPoolExecutor(max(1, min(opt.jobs, 2))) as pool:
        for native in files:
            w = work / native.stem
            nres, seq = prepare(native, w, opt)
            for name in ("noisy", "gapped", "exact"):
                pairs, steps = trace_figures(w / ("t.pdb" if name == "exact" else name + ".pdb"))
                n, _, sup = pdbutil.ca_rmsd(w / ("t.pdb" if name == "exact" else name + ".pdb"),
                                            w / "t.pdb")
                rows.append({"chain": native.stem, "residues": nres, "run": "input-" + name,
                             "status": 0, "modelled": n, "ca_rmsd": "%.3f" % sup,
                             "ca_pairs": pairs, "ca_steps": steps})
            for run in runs:
                jobs.append(pool.submit(one_run, native, w, nres, seq, run))
        for j in jobs:
            row = j.result()
            print("\t".join(str(row.get(c, "")) for c in COLS), flush=True)
            rows.append(row)
    rows = [r for r in old if not r["run"].startswith("input-") or
            r["chain"] not in {p.stem for p in files}] + rows
    with open(tsv, "w", newline="") as f:
        w = csv.DictWriter(f, COLS, delimiter="\t", extrasaction="ignore")
        w.writeheader()
        w.writerows(rows)
    table = summary(rows, opt)
    print("\n".join(table))
    if opt.report:
        write_report(table)
    return 0


LABEL = {
    "input-noisy": "input: noisy trace", "input-gapped": "input: noisy gapped trace",
    "input-exact": "input: exact trace",
    "m23": "mode 23, regulariser off", "m23-def": "mode 23, defaults (regulariser auto)",
    "m3-none": "mode 3, no template, regulariser off (rebuild before)",
    "m3-self": "mode 3, the noisy trace as template, regulariser off",
    "m3-reg": "mode 3, no template, regulariser on",
    "m3-def": "**mode 3, defaults** (trace as template, regulariser auto)",
    "m3-tin": "mode 3, regulariser auto, the unregularised noisy trace as template",
    "m31-seq": "**mode 31 --sequence**, defaults, gapped trace",
    "m31-prog": "VORB 31 directly on the gapped trace (topology of the whole chain)",
    "x23": "exact trace: mode 23, regulariser off", "x23-def": "exact trace: mode 23, defaults",
    "x3-none": "exact trace: mode 3, no template (rebuild before)",
    "x3-def": "exact trace: mode 3, defaults",
}


def summary(rows, opt):
    order = [k for k in LABEL if any(r["run"] == k for r in rows)]
    head = ["run", "chains", "complete models", "C-alpha RMSD to native (A)",
            "backbone H-bonds recovered", "C-alpha pairs < 3.6 A per chain (median)",
            "C-alpha steps > 4.2 A per chain (median)", "CPU s per chain"]
    out = ["| " + " | ".join(head) + " |", "|" + " --- |" * len(head)]

    def mean(v):
        return "%.3f" % statistics.mean(v) if v else "-"

    for k in order:
        rs = [r for r in rows if r["run"] == k]
        done = [r for r in rs if str(r.get("ca_rmsd", ""))]
        full = [r for r in done if int(r["modelled"]) == int(r["residues"])]
        rm = [float(r["ca_rmsd"]) for r in done]
        hb = [float(r["hb_recovered"]) for r in done if str(r.get("hb_recovered", ""))]
        pr = [int(r["ca_pairs"]) for r in done]
        st = [int(r["ca_steps"]) for r in done]
        cpu = [float(r["cpu_s"]) for r in rs if str(r.get("cpu_s", ""))]
        out.append("| " + " | ".join([
            LABEL[k], str(len(rs)), "%d" % len(full), mean(rm), mean(hb) if hb else "-",
            "%.1f (%g)" % (statistics.mean(pr), statistics.median(pr)) if pr else "-",
            "%.1f (%g)" % (statistics.mean(st), statistics.median(st)) if st else "-",
            "%.2f" % statistics.mean(cpu) if cpu else "-"]) + " |")
    out += ["", "Noise %.2f A per coordinate (seed %d), gaps: %g of the residues in two runs; "
            "chains: %s." % (opt.noise, opt.seed, opt.gaps,
                            "held-out (every tenth file by name)" if not opt.train and
                            not opt.structures else "given"), ""]
    return out


BEGIN, END = "<!-- coarse-models: begin -->", "<!-- coarse-models: end -->"


def write_report(table):
    path = ROOT / "bench" / "results" / "REPORT.md"
    text = path.read_text() if path.exists() else ""
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=ROOT,
                            capture_output=True, text=True).stdout.strip()
    body = [BEGIN, "## Coarse models: noisy and gapped C-alpha traces", "",
            "`python3 bench/coarse_table.py --jobs 2 --report` at %s; models scored against the "
            "natives (`vorb-tools score`), C-alpha RMSD after superposition over the residues "
            "modelled, means over the chains." % commit, ""] + table + [END]
    if BEGIN in text and END in text:
        a, b = text.index(BEGIN), text.index(END) + len(END)
        text = text[:a] + "\n".join(body) + text[b:]
    else:
        text = text.rstrip("\n") + "\n\n" + "\n".join(body) + "\n"
    path.write_text(text)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
