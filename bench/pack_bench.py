#!/usr/bin/env python3
"""Side-chain packing benchmark (standard library only).

For each chain of the set (default: the 35 held-out chains, every tenth file by name of the
shared training set; --set train: training chains at 0-based positions 4, 14, 24, ..., for
tuning) it writes the native's first chain renumbered 1..n (as the peer's traces were) and runs

  natives  vorb-tools pack NATIVE (the native's own backbone repacked)
  rules    vorb-tools rebuild NATIVE --ca --side-chains rules   (mode 23 as VORB writes it)
  packed   vorb-tools rebuild NATIVE --ca                        (mode 23, then packed)
  peer     the peer's models, ../shared/peers/*/heldout/{default,hbopt}/NAME.pdb (held-out only)

every step under /usr/bin/time -v, and scores every model with `vorb-tools score NATIVE MODEL`
against the same renumbered native (the scorer matches residues by number). It adds the count of heavy-atom pairs closer than 2.0 A between
different residues, SG-SG pairs and peptide bonds aside. Writes DIR/scores.tsv and
DIR/section.md; --report also writes bench/results/side_chains.md and puts it into
bench/results/REPORT.md as its own section (bench/report.py keeps it when it rewrites the report).
Mode "tune" packs the rules model with --pack-set settings (rebuild's packing step alone), for
tuning on --set train.

  python3 bench/pack_bench.py [--set heldout|train] [--modes natives,rules,packed,tune,peer]
                              [--limit K] [--jobs N] [--out DIR] [--tools PATH]
                              [--pack-set NAME=X ...] [--report]
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


BACKBONE_CB = (" N  ", " CA ", " C  ", " O  ", " OXT", " CB ")


def close_pairs(model, limit=2.0, side_only=False):
    """Heavy-atom pairs closer than limit between different residues, SG-SG pairs aside;
    side_only: only those with a side-chain atom beyond CB."""
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
                        if side_only and a.name in BACKBONE_CB and b.name in BACKBONE_CB:
                            continue
                        # the peptide bond C(i)-N(i+1)
                        if {a.name, b.name} == {" C  ", " N  "} and abs(a.resnum - b.resnum) == 1:
                            continue
                        if (a.x - b.x) ** 2 + (a.y - b.y) ** 2 + (a.z - b.z) ** 2 < limit * limit:
                            n += 1
    return n


def pack_args(opt):
    """--pack-set NAME=X becomes --set NAME=X; an option (--ideal-cb) is passed as it is."""
    return [x for kv in opt.pack_set for x in ((kv,) if kv.startswith("--") else ("--set", kv))]


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
            row.update(score(opt.tools, nat, model))
            row["pairs_below_2.0"] = close_pairs(model)
            row["side_pairs_below_2.0"] = close_pairs(model, side_only=True)
        else:
            row["error"] = err.strip().splitlines()[-1] if err.strip() else "no model"
        rows.append(row)

    modes = opt.modes.split(",")
    if "natives" in modes:
        st, cpu, rss, err = timed([opt.tools, "pack", str(nat), "-o", "native_packed.pdb"] +
                                  pack_args(opt), work)
        add("natives", work / "native_packed.pdb", cpu, rss, st, err)
        # The packing alone: the process packing 11 times less the one packing once, over 10.
        st11, cpu11, _, _ = timed([opt.tools, "pack", str(nat), "-o", "native_packed11.pdb",
                                   "--repeat", "11"] + pack_args(opt), work)
        rows[-1]["pack_s"] = (cpu11 - cpu) / 10 if st11 == 0 and st == 0 else math.nan
    if "rules" in modes:
        st, cpu, rss, err = timed([opt.tools, "rebuild", str(nat), "--ca", "--side-chains",
                                   "rules", "-o", "rules.pdb"], work)
        add("rules", work / "rules.pdb", cpu, rss, st, err)
    if "tune" in modes:  # rebuild's packing step alone, with --pack-set: pack the rules model
        if not (work / "rules.pdb").exists():
            timed([opt.tools, "rebuild", str(nat), "--ca", "--side-chains", "rules", "-o",
                   "rules.pdb"], work)
        st, cpu, rss, err = timed([opt.tools, "pack", "rules.pdb", "-o", "tuned.pdb"] +
                                  pack_args(opt), work)
        add("tune", work / "tuned.pdb", cpu, rss, st, err)
    if "packed" in modes:
        st, cpu, rss, err = timed([opt.tools, "rebuild", str(nat), "--ca", "-o", "packed.pdb"],
                                  work)
        add("packed", work / "packed.pdb", cpu, rss, st, err)
        if st == 0:  # what the side chains cannot change: VORB's backbone with its CB
            keep = (" N  ", " CA ", " C  ", " O  ", " CB ", " OXT")
            res = [[a for a in r if a.name in keep]
                   for r in pdbutil.residues(pdbutil.read_atoms(str(work / "packed.pdb")))]
            pdbutil.write_residues(str(work / "packed_bb_cb.pdb"), res)
            add("floor", work / "packed_bb_cb.pdb")
    if "peer" in modes:
        for variant in ("default", "hbopt"):
            for d in sorted((ROOT.parent / "shared" / "peers").glob("*/heldout/" + variant)):
                model = d / (name + ".pdb")
                if model.exists():
                    add("peer " + variant, model)
    return rows


HEADING = "Side chains: rules, packed and the peer on the same chains"

FIELDS = [("rmsd_backbone_n_c_o", "N, C, O RMSD (A)", 3),
          ("chi1_within_40", "chi1 within 40 deg", 3),
          ("rmsd_sidechain", "side-chain RMSD (A)", 2),
          ("heavy_clashes_below_3.0", "heavy pairs < 3.0 A", 0),
          ("pairs_below_2.0", "pairs < 2.0 A between residues (SG-SG aside)", 1),
          ("side_pairs_below_2.0", "of these, with a side-chain atom beyond CB", 1),
          ("hbonds_recovered", "backbone H-bonds recovered", 3)]


def mean(rows, key):
    v = [r[key] for r in rows if isinstance(r.get(key), (int, float)) and not math.isnan(r[key])]
    return statistics.fmean(v) if v else math.nan


def targets(rows):
    def m(mode, key):
        return mean([r for r in rows if r["mode"] == mode and r["status"] == 0], key)
    out = ["", "| target (means over the chains) | measured | met |", "| --- | --- | --- |"]

    def row(text, value, ok):
        out.append(f"| {text} | {value} | {'yes' if ok else 'no'} |")
    c = m("packed", "chi1_within_40")
    row("chi1 within 40 deg >= 0.72 (packed)", f"{c:.3f}", c >= 0.72)
    v = m("packed", "rmsd_sidechain")
    row("side-chain RMSD <= 1.9 A (packed)", f"{v:.2f}", v <= 1.9)
    h, p = m("packed", "heavy_clashes_below_3.0"), m("peer default", "heavy_clashes_below_3.0")
    f = m("floor", "heavy_clashes_below_3.0")
    row(f"heavy pairs < 3.0 A <= 0.5 x the peer's ({p:.0f})",
        f"{h:.0f} ({f:.0f} of VORB's backbone and CB alone)", h <= 0.5 * p)
    z, zf = m("packed", "pairs_below_2.0"), m("floor", "pairs_below_2.0")
    row("no pair < 2.0 A between residues, SG-SG aside (packed)",
        f"{z:.1f} per chain ({zf:.1f} of VORB's backbone and CB alone)", z == 0)
    z = m("packed", "side_pairs_below_2.0")
    row("no such pair with a side-chain atom beyond CB (packed)", f"{z:.2f} per chain", z == 0)
    a, b = m("packed", "rmsd_backbone_n_c_o"), m("rules", "rmsd_backbone_n_c_o")
    row("N, C, O RMSD unchanged from mode 23 rules", f"{a:.3f} against {b:.3f}", a == b)
    n = m("natives", "chi1_within_40")
    row("repacked natives: chi1 within 40 deg >= 0.85", f"{n:.3f}", n >= 0.85)
    long = [r for r in rows if r["mode"] == "natives" and r["status"] == 0 and r["residues"] >= 200]
    if long:
        r = min(long, key=lambda r: abs(r["residues"] - 250))
        t = r["pack_s"]
        row(f"packing a 250-residue chain <= 0.03 s CPU ({r['chain']}, {r['residues']} residues, "
            "the packing alone)", f"{t:.3f} s", t <= 0.03)
    mem = max((r["rss_kb"] for r in rows if r["mode"] in ("natives", "packed") and r["status"] == 0),
              default=math.nan) / 1024
    row("peak memory <= 30 MB (pack, rebuild)", f"{mem:.1f} MB", mem <= 30)
    t = m("packed", "cpu_s")
    row("rebuild from trace to packed model <= 1.5 x the peer's time (0.01 to 0.05 s per chain, "
        "the peer's README)", f"{t:.3f} s per chain", t <= 1.5 * 0.05)
    return out


def section(rows, which):
    order = [m for m in ("rules", "packed", "floor", "tune", "peer default", "peer hbopt",
                         "natives")
             if any(r["mode"] == m for r in rows)]
    label = {"rules": "mode 23, rules", "packed": "mode 23, packed",
             "floor": "mode 23, backbone and CB only", "tune": "rules model packed", "peer default": "peer, default",
             "peer hbopt": "peer, -q", "natives": "natives repacked"}
    chains = sorted({r["chain"] for r in rows})
    out = [f"Means over {len(chains)} {'held-out' if which == 'heldout' else 'training'} chains, "
           "every model scored by `vorb-tools score NATIVE MODEL` against the same native "
           "(renumbered 1..n as the models are).", "",
           "| figure | " + " | ".join(label[m] for m in order) + " |",
           "| --- |" + " --- |" * len(order)]
    for key, text, digits in FIELDS:
        cells = []
        for m in order:
            v = mean([r for r in rows if r["mode"] == m and r["status"] == 0], key)
            cells.append("-" if math.isnan(v) else f"{v:.{digits}f}")
        out.append(f"| {text} | " + " | ".join(cells) + " |")
    if any(r["mode"] == "packed" for r in rows):
        out += targets(rows)
    failed = [f"{r['chain']} ({r['mode']}: {r.get('error', '')})" for r in rows if r["status"] != 0]
    if failed:
        out += ["", "Failed steps: " + "; ".join(failed)]
    timing = sorted((r for r in rows if r["mode"] == "natives" and r["status"] == 0),
                    key=lambda r: r["residues"])
    if timing:
        out += ["", "Packing time and memory against chain length: `vorb-tools pack` on the "
                "native under /usr/bin/time, the whole process (reading the rotamer library, the "
                "geometry and the model, packing, writing) and the packing alone (the process "
                "with `--repeat 11` less the one above, over 10):", "",
                "| chain | residues | process CPU (s) | packing CPU (s) | peak memory (MB) |",
                "| --- | --- | --- | --- | --- |"]
        for r in timing:
            out.append(f"| {r['chain']} | {r['residues']} | {r['cpu_s']:.3f} | "
                       f"{r.get('pack_s', math.nan):.4f} | {r['rss_kb'] / 1024:.1f} |")
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
    ap.add_argument("--report", action="store_true",
                    help="write bench/results/side_chains.md and its section of REPORT.md")
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
    keys = ["chain", "residues", "mode", "status", "cpu_s", "pack_s", "rss_kb"] + [k for k, _, _ in FIELDS]
    out = pathlib.Path(opt.out)
    with open(out / "scores.tsv", "w") as f:
        f.write("\t".join(keys) + "\n")
        for r in rows:
            f.write("\t".join(str(r.get(k, "")) for k in keys) + "\n")
    text = section(rows, opt.set)
    (out / "section.md").write_text(text)
    print(text)
    if opt.report:
        commit = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", "HEAD"],
                                capture_output=True, text=True).stdout.strip()
        head = (f"## {HEADING}\n\nMeasured at commit {commit} with `python3 bench/pack_bench.py "
                f"--report`. ")
        side = ROOT / "bench" / "results" / "side_chains.md"
        side.write_text(head + text)
        report = ROOT / "bench" / "results" / "REPORT.md"
        if report.exists():
            old = report.read_text()
            start = old.find(f"## {HEADING}")
            if start >= 0:
                end = old.find("\n## ", start + 3)
                old = old[:start] + (old[end + 1:] if end >= 0 else "")
            at = old.find("\n## Micro-benchmarks")
            new = side.read_text().rstrip() + "\n"
            old = (old[:at + 1] + new + "\n" + old[at + 1:]) if at >= 0 else old.rstrip() + "\n\n" + new
            report.write_text(old)


if __name__ == "__main__":
    main()
