#!/usr/bin/env python3
"""Side-chain packing benchmark (standard library only).

For each chain of the set (default: the 35 held-out chains, every tenth file by name of the
shared training set; --set train: training chains at 0-based positions 4, 14, 24, ..., for
tuning) it writes the native's first chain renumbered 1..n (as the peer's traces were) and runs

  natives  vorb-tools pack NATIVE (the native's own backbone repacked)
  rules    vorb-tools rebuild NATIVE --ca --side-chains rules   (mode 23 as specified)
  packed   vorb-tools rebuild NATIVE --ca                        (mode 23, then packed)
  peer     the peer's models, ../shared/peers/*/heldout/{default,hbopt}/NAME.pdb (held-out only)

every step under /usr/bin/time -v, and scores every model with `vorb-tools score NATIVE MODEL`
against the same native. It adds the count of heavy-atom pairs closer than 2.0 A between
different residues, SG-SG pairs aside. Writes DIR/scores.tsv and DIR/section.md (the tables of
bench/results/REPORT.md's packing section).

  python3 bench/pack_bench.py [--set heldout|train] [--modes natives,rules,packed,peer]
                              [--limit K] [--jobs N] [--out DIR] [--tools PATH]
                              [--pack-set NAME=X ...]
"""

import argparse
import concurrent.futures
import math
import os
import pathlib
import re
import statistics
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "bench"))
import pdbutil  # noqa: E402


def structures_dir():
    for parent in [ROOT] + list(ROOT.parents):
        cand = parent / "shared" / "structures" / "train"
        if cand.is_dir():
            return cand
    return None


def chain_set(which):
    d = structures_dir()
    if d is None:
        sys.exit("pack_bench: no shared/structures/train beside the project")
    files = sorted(d.glob("*.pdb"), key=lambda p: p.name)
    pos = 9 if which == "heldout" else 4
    return [p for i, p in enumerate(files) if i % 10 == pos]


def renumbered(native, dst):
    """The native's atoms under the program's line filter, residues numbered 1..n."""
    res = pdbutil.residues(pdbutil.read_atoms(str(native)))
    pdbutil.write_residues(str(dst), res)
    return sum(1 for r in res if any(a.name == " CA " for a in r))


def timed(cmd, cwd):
    """Runs cmd under /usr/bin/time -v; (status, cpu seconds, peak KB, stderr text)."""
    tfile = pathlib.Path(cwd) / "time.txt"
    p = subprocess.run(["/usr/bin/time", "-v", "-o", str(tfile)] + cmd, cwd=cwd,
                       capture_output=True, text=True)
    cpu = rss = math.nan
    if tfile.exists():
        text = tfile.read_text()
        u = re.search(r"User time \(seconds\): ([\d.]+)", text)
        s = re.search(r"System time \(seconds\): ([\d.]+)", text)
        m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", text)
        if u and s:
            cpu = float(u.group(1)) + float(s.group(1))
        if m:
            rss = int(m.group(1))
    return p.returncode, cpu, rss, p.stderr


def score(tools, native, model):
    p = subprocess.run([tools, "score", str(native), str(model)], capture_output=True, text=True)
    out = {}
    for line in p.stdout.splitlines():
        k, _, v = line.partition(":")
        try:
            out[k.strip()] = float(v.split()[0])
        except (ValueError, IndexError):
            pass
    return out


def close_pairs(model, limit=2.0):
    """Heavy-atom pairs closer than limit between different residues, SG-SG pairs aside."""
    atoms = [a for a in pdbutil.read_atoms(str(model)) if not pdbutil.is_hydrogen(a)]
    cell = {}
    for k, a in enumerate(atoms):
        cell.setdefault((int(a.x // limit), int(a.y // limit), int(a.z // limit)), []).append(k)
    n = 0
    for k, a in enumerate(atoms):
        cx, cy, cz = int(a.x // limit), int(a.y // limit), int(a.z // limit)
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                for dz in (-1, 0, 1):
                    for j in cell.get((cx + dx, cy + dy, cz + dz), ()):
                        if j <= k:
                            continue
                        b = atoms[j]
                        if (a.resnum, a.icode) == (b.resnum, b.icode):
                            continue
                        if a.name == " SG " and b.name == " SG ":
                            continue
                        # the peptide bond C(i)-N(i+1)
                        if {a.name, b.name} == {" C  ", " N  "} and abs(a.resnum - b.resnum) == 1:
                            continue
                        if (a.x - b.x) ** 2 + (a.y - b.y) ** 2 + (a.z - b.z) ** 2 < limit * limit:
                            n += 1
    return n


def run_chain(opt, native):
    name = native.stem
    work = pathlib.Path(opt.out) / "work" / name
    work.mkdir(parents=True, exist_ok=True)
    nat = work / "native.pdb"
    nres = renumbered(native, nat)
    rows = []

    def add(mode, model, cpu=math.nan, rss=math.nan, status=0, err=""):
        row = {"chain": name, "residues": nres, "mode": mode, "status": status,
               "cpu_s": cpu, "rss_kb": rss}
        if status == 0 and pathlib.Path(model).exists():
            row.update(score(opt.tools, native, model))
            row["pairs_below_2.0"] = close_pairs(model)
        else:
            row["error"] = err.strip().splitlines()[-1] if err.strip() else "no model"
        rows.append(row)

    modes = opt.modes.split(",")
    if "natives" in modes:
        st, cpu, rss, err = timed([opt.tools, "pack", str(nat), "-o", "native_packed.pdb"] +
                                  [x for kv in opt.pack_set for x in ("--set", kv)], work)
        add("natives", work / "native_packed.pdb", cpu, rss, st, err)
    if "rules" in modes:
        st, cpu, rss, err = timed([opt.tools, "rebuild", str(nat), "--ca", "--side-chains",
                                   "rules", "-o", "rules.pdb"], work)
        add("rules", work / "rules.pdb", cpu, rss, st, err)
    if "packed" in modes:
        st, cpu, rss, err = timed([opt.tools, "rebuild", str(nat), "--ca", "-o", "packed.pdb"],
                                  work)
        add("packed", work / "packed.pdb", cpu, rss, st, err)
    if "peer" in modes:
        for variant in ("default", "hbopt"):
            for d in sorted((ROOT.parent / "shared" / "peers").glob("*/heldout/" + variant)):
                model = d / (name + ".pdb")
                if model.exists():
                    add("peer " + variant, model)
    return rows


FIELDS = [("rmsd_backbone_n_c_o", "N, C, O RMSD (A)", 3),
          ("chi1_within_40", "chi1 within 40 deg", 3),
          ("rmsd_sidechain", "side-chain RMSD (A)", 2),
          ("heavy_clashes_below_3.0", "heavy pairs < 3.0 A", 0),
          ("pairs_below_2.0", "pairs < 2.0 A between residues (SG-SG aside)", 1),
          ("hbonds_recovered", "backbone H-bonds recovered", 3)]


def mean(rows, key):
    v = [r[key] for r in rows if isinstance(r.get(key), (int, float)) and not math.isnan(r[key])]
    return statistics.fmean(v) if v else math.nan


def section(rows, which):
    order = [m for m in ("rules", "packed", "peer default", "peer hbopt", "natives")
             if any(r["mode"] == m for r in rows)]
    label = {"rules": "mode 23, rules", "packed": "mode 23, packed", "peer default": "peer, default",
             "peer hbopt": "peer, -q", "natives": "natives repacked"}
    chains = sorted({r["chain"] for r in rows})
    out = [f"Means over {len(chains)} {'held-out' if which == 'heldout' else 'training'} chains, "
           "every model scored by `vorb-tools score NATIVE MODEL` against the same native.", "",
           "| figure | " + " | ".join(label[m] for m in order) + " |",
           "| --- |" + " --- |" * len(order)]
    for key, text, digits in FIELDS:
        cells = []
        for m in order:
            v = mean([r for r in rows if r["mode"] == m and r["status"] == 0], key)
            cells.append("-" if math.isnan(v) else f"{v:.{digits}f}")
        out.append(f"| {text} | " + " | ".join(cells) + " |")
    failed = [f"{r['chain']} ({r['mode']}: {r.get('error', '')})" for r in rows if r["status"] != 0]
    if failed:
        out += ["", "Failed steps: " + "; ".join(failed)]
    timing = sorted((r for r in rows if r["mode"] == "natives" and r["status"] == 0),
                    key=lambda r: r["residues"])
    if timing:
        out += ["", "Packing time and memory against chain length (`vorb-tools pack` on the "
                "native, whole process under /usr/bin/time: reading the library and the model, "
                "packing, writing):", "", "| chain | residues | CPU (s) | peak memory (MB) |",
                "| --- | --- | --- | --- |"]
        for r in timing:
            out.append(f"| {r['chain']} | {r['residues']} | {r['cpu_s']:.3f} | "
                       f"{r['rss_kb'] / 1024:.1f} |")
    for m in ("rules", "packed"):
        t = [r for r in rows if r["mode"] == m and r["status"] == 0]
        if t:
            out += ["", f"`rebuild --ca` ({label[m]}): mean CPU {mean(t, 'cpu_s'):.3f} s per chain, "
                    f"largest peak memory {max(r['rss_kb'] for r in t) / 1024:.1f} MB."]
    return "\n".join(out) + "\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--set", choices=("heldout", "train"), default="heldout")
    ap.add_argument("--modes", default="natives,rules,packed,peer")
    ap.add_argument("--limit", type=int, default=0)
    ap.add_argument("--pack-set", action="append", default=[], metavar="NAME=X",
                    help="passed to vorb-tools pack --set (tuning, on --set train)")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--out", default=str(ROOT / "out" / "pack-bench"))
    ap.add_argument("--tools", default=str(ROOT / "build" / "release" / "vorb-tools"))
    opt = ap.parse_args()
    chains = chain_set(opt.set)
    if opt.limit:
        chains = chains[:opt.limit]
    if opt.set == "train":
        opt.modes = ",".join(m for m in opt.modes.split(",") if m != "peer")
    rows = []
    with concurrent.futures.ThreadPoolExecutor(opt.jobs) as ex:
        for r in ex.map(lambda n: run_chain(opt, n), chains):
            rows += r
    keys = ["chain", "residues", "mode", "status", "cpu_s", "rss_kb"] + [k for k, _, _ in FIELDS]
    out = pathlib.Path(opt.out)
    with open(out / "scores.tsv", "w") as f:
        f.write("\t".join(keys) + "\n")
        for r in rows:
            f.write("\t".join(str(r.get(k, "")) for k in keys) + "\n")
    text = section(rows, opt.set)
    (out / "section.md").write_text(text)
    print(text)


if __name__ == "__main__":
    main()
