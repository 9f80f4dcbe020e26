#!/usr/bin/env python3
"""Refinement runs on native structures, one table row per run.

For each structure: its C-alpha trace and topology, seq.dat from mode 8 of the native, then in
separate working directories mode 23 (the reference model), mode 2, mode 3 without a template,
mode 3 and mode 4 with the native trace as template, and mode 31 on the trace with 5 % of its
C-alpha atoms removed in two gaps. Every refinement run is made twice and must give identical
files and standard output. Prints a Markdown table and writes it, under a header naming the
commit, command and machine, to bench/results/REFINE.md (--out): outputs, the backbone hydrogen
bonds of the start model as the program counts them (the "initd" line) and of the written model
(the listing of mode 5) against the mode-23 model, C-alpha RMSD to the native after
superposition, wall and CPU time and peak memory.

  python3 bench/refine_table.py [--bin DIR] [--lib FILE] [--work DIR] [--out FILE]
                                [--held-out | STRUCTURE.pdb ...]

Without structures, the held-out chains 1euw_a, 4hhb_a and 219l_a of the shared training set;
--held-out takes the whole held-out part of it.
"""

import argparse
import datetime
import os
import shutil
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
import pdbutil  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
DEFAULT = ["1euw_a.pdb", "4hhb_a.pdb", "219l_a.pdb"]


def run(cmd, cwd, timeout=3600):
    """Runs cmd under /usr/bin/time; returns (status, stdout, wall s, cpu s, peak KB)."""
    tfile = Path(cwd) / ".time"
    full = ["/usr/bin/time", "-o", str(tfile), "-f", "%e %U %S %M"] + [str(c) for c in cmd]
    p = subprocess.run(full, cwd=cwd, capture_output=True, text=True, timeout=timeout)
    wall, user, sys_, peak = tfile.read_text().split()[-4:]
    tfile.unlink()
    return p.returncode, p.stdout, float(wall), float(user) + float(sys_), int(peak)


def backbone_hbonds(vorb, model, cwd):
    """Backbone-backbone bonds in the listing of mode 5 of a copy of the model."""
    probe = Path(cwd) / "probe"
    probe.mkdir(exist_ok=True)
    shutil.copy(Path(cwd) / "Hdd", probe / "Hdd")
    shutil.copy(model, probe / "m.pdb")
    out = subprocess.run([str(vorb), "5", "m.pdb"], cwd=probe, capture_output=True,
                         text=True).stdout
    shutil.rmtree(probe)
    return sum(1 for line in out.splitlines() if " BB " in line)


def gapped_trace(src, dst, frac=0.05):
    """Copies the C-alpha trace without two runs of residues, about frac of the chain."""
    lines = [l for l in Path(src).read_text().splitlines() if l.startswith("ATOM")]
    n = len(lines)
    k = max(2, round(frac * n))
    g1, g2 = k // 2, k - k // 2
    s1, s2 = n // 3, (2 * n) // 3
    drop = set(range(s1, s1 + g1)) | set(range(s2, s2 + g2))
    Path(dst).write_text("".join(l + "\n" for i, l in enumerate(lines) if i not in drop))
    return k


def prepare(tools, vorb, native, work):
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    shutil.copy(native, work / "nat.pdb")
    subprocess.run([str(tools), "ca-trace", "nat.pdb", "t.pdb"], cwd=work, check=True,
                   capture_output=True)
    subprocess.run([str(tools), "hdd", "t.pdb", "-o", "Hdd"], cwd=work, check=True,
                   capture_output=True)
    subprocess.run([str(vorb), "8", "nat.pdb"], cwd=work, check=True, capture_output=True)
    shutil.copy(work / "seq0.dat", work / "seq.dat")
    removed = gapped_trace(work / "t.pdb", work / "gap.pdb")
    return sum(1 for l in (work / "t.pdb").read_text().splitlines() if l.startswith("ATOM")), \
        removed


def one_run(vorb, lib, work, name, mode, structure, template):
    d = work / name
    d.mkdir()
    for f in ("Hdd", "seq.dat", "t.pdb", structure):
        shutil.copy(work / f, d / f)
    cmd = [vorb, mode, structure, lib] + ([template] if template else [])
    outs = [structure + ".h", structure + ".fix"]
    status, out, wall, cpu, peak = run(cmd, d)
    first = {f: (d / f).read_bytes() if (d / f).exists() else None for f in outs}
    status2, out2, *_ = run(cmd, d)
    same = status == status2 and out == out2 and all(
        ((d / f).read_bytes() if (d / f).exists() else None) == first[f] for f in outs)
    model = d / (structure + ".h")
    row = {"run": name, "status": status, "outputs": " ".join(
        f.split(".", 1)[1] for f in outs if first[f] is not None), "same": same,
        "wall": wall, "cpu": cpu, "peak": peak}
    if model.exists():
        row["hb"] = backbone_hbonds(vorb, model, d)
        row["rmsd"] = pdbutil.ca_rmsd(model, work / "t.pdb")[2]
    # " initd" (A6), rmsd (F8.4), then I4 fields: icycle, npredhb, nhb, nhbmatch, nclash, ...
    start = [l for l in out.splitlines() if l.startswith(" initd")]
    row["initd_nhb"] = int(start[0][22:26]) if start else None
    return row


HEAD = ["protein", "res", "run", "outputs", "same twice", "BB H-bonds at the start (initd)",
        "BB H-bonds of name.h (mode 23)", "CA RMSD A", "wall s", "CPU s", "peak MB"]


def table_row(native, nres, row, ref):
    hb = row.get("hb")
    hbtext = "-" if hb is None else "%d (%d)" % (hb, ref.get("hb", -1))
    start = row.get("initd_nhb")
    rm = row.get("rmsd")
    cells = [native.stem, str(nres),
             row["run"] + ("" if row["status"] == 0 else " (exit %d)" % row["status"]),
             row["outputs"] or "-", "yes" if row["same"] else "NO",
             "-" if start is None else str(start), hbtext,
             "-" if rm is None else "%.2f" % rm,
             "%.2f" % row["wall"], "%.2f" % row["cpu"], "%.0f" % (row["peak"] / 1024.0)]
    return "| " + " | ".join(cells) + " |"


def summary(collected):
    """Per run kind: means and extremes over the chains, the mode-23 model as reference."""
    kinds = {}
    for row, ref in collected:
        kinds.setdefault(row["run"].split("-gaps")[0], []).append((row, ref))
    head = ["run", "chains", "BB H-bonds of name.h, mean (mode 23)", "chains below mode 23",
            "CA RMSD A, mean / max", "CPU s, mean / max", "peak MB, max", "same twice"]
    out = ["## Summary", "", "| " + " | ".join(head) + " |", "|" + "|".join("---" for _ in head) + "|"]
    for kind, rows in kinds.items():
        hb = [(r["hb"], f.get("hb", 0)) for r, f in rows if r.get("hb") is not None]
        rm = [r["rmsd"] for r, _ in rows if r.get("rmsd") is not None]
        cpu = [r["cpu"] for r, _ in rows]
        mean = lambda v: sum(v) / len(v) if v else float("nan")
        out.append("| " + " | ".join([
            kind + (" (gapped trace)" if kind == "m31" else ""), str(len(rows)),
            "%.1f (%.1f)" % (mean([a for a, _ in hb]), mean([b for _, b in hb])),
            str(sum(1 for a, b in hb if a < b)),
            "%.2f / %.2f" % (mean(rm), max(rm) if rm else float("nan")),
            "%.2f / %.2f" % (mean(cpu), max(cpu)),
            "%.0f" % (max(r["peak"] for r, _ in rows) / 1024.0),
            "%d of %d" % (sum(1 for r, _ in rows if r["same"]), len(rows))]) + " |")
    return out + [""]


def header(argv, source, count, lib, load):
    return [
        "# VORB refinement runs: modes 23, 2, 3, 4 and 31 on native C-alpha traces", "",
        "- Measured at commit: %s (%s)" % (harness.git_commit(),
                                           datetime.datetime.now().strftime("%Y-%m-%d %H:%M")),
        "- Command: `python3 bench/refine_table.py %s`" % " ".join(argv),
        "- Structures: %s; %d chains; library: %s" % (source, count,
                                                      harness.library_name(lib)),
        "- Machine: %s, %d cores; load average %s at the start, %.2f at the end (the machine "
        "is shared, so wall times carry the others' load)" % (
            harness.cpu_model(), os.cpu_count() or 0, load, os.getloadavg()[0]),
        "- Runs: m23 = mode 23 on the trace (the reference model); m2; m3 = mode 3 without a "
        "template, seq.dat from mode 8 of the native; m3-tmpl and m4-tmpl = modes 3 and 4 with "
        "the trace as template; m31-gapsK = mode 31 on the trace without K C-alpha atoms in "
        "two gaps. Each run is made twice; 'same twice' = both outputs and standard output "
        "byte-identical.",
        "- BB H-bonds at the start: the program's own count (backbone bonds of the start model "
        "of the refinement, the 'initd' line). BB H-bonds of name.h: backbone-backbone bonds "
        "in the listing of mode 5 of the written model, with the mode-23 model of the same "
        "(full) trace in parentheses. The two counters differ, so compare each with its own "
        "kind. CA RMSD: C-alpha RMSD of name.h to the native trace after superposition. "
        "Wall, CPU and peak memory from /usr/bin/time, first of the two runs.", ""]


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--bin", default=str(ROOT / "build" / "release"))
    p.add_argument("--lib", default=str(ROOT / "data" / "BBdat"))
    p.add_argument("--work", default=str(ROOT / "out" / "refine-table"))
    p.add_argument("--out", default=str(ROOT / "bench" / "results" / "REFINE.md"))
    p.add_argument("--held-out", action="store_true",
                   help="every held-out chain of the shared training set")
    p.add_argument("structures", nargs="*")
    opt = p.parse_args(argv)
    vorb, tools = Path(opt.bin) / "VORB", Path(opt.bin) / "vorb-tools"
    lib = Path(opt.lib).resolve()
    base = harness.find_structures_dir()
    if opt.structures:
        structs, source = [Path(s) for s in opt.structures], "given on the command line"
    elif base is None:
        sys.exit("no structures given and the shared training set was not found")
    elif opt.held_out:
        structs = harness.held_out(base.glob("*.pdb"))
        source = "held-out part of the shared training set (every tenth file by name)"
    else:
        structs = [base / f for f in DEFAULT]
        source = "held-out chains " + ", ".join(Path(f).stem for f in DEFAULT)
    load = "%.2f" % os.getloadavg()[0]

    lines = ["| " + " | ".join(HEAD) + " |", "|" + "|".join("---" for _ in HEAD) + "|"]
    collected = []
    print("\n".join(lines))
    for native in structs:
        work = Path(opt.work) / native.stem
        nres, removed = prepare(tools, vorb, native, work)
        ref = one_run(vorb, lib, work, "m23", "23", "t.pdb", None)
        runs = [("m2", "2", "t.pdb", None), ("m3", "3", "t.pdb", None),
                ("m3-tmpl", "3", "t.pdb", "t.pdb"), ("m4-tmpl", "4", "t.pdb", "t.pdb"),
                ("m31-gaps%d" % removed, "31", "gap.pdb", None)]
        for row in [ref] + [one_run(vorb, lib, work, *r) for r in runs]:
            collected.append((row, ref))
            lines.append(table_row(native, nres, row, ref))
            print(lines[-1])
            sys.stdout.flush()

    out = Path(opt.out)
    out.parent.mkdir(parents=True, exist_ok=True)
    top = header(argv, source, len(structs), lib, load) + summary(collected)
    print("\n".join(top[top.index("## Summary"):]))
    out.write_text("\n".join(top + ["## Per chain", ""] + lines) + "\n")
    print("table written to %s" % out)


if __name__ == "__main__":
    main(sys.argv[1:])
