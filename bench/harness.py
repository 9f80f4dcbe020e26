#!/usr/bin/env python3
"""Accuracy, speed and memory benchmark of VORB against native structures.

For each native structure: makes its C-alpha trace and topology, runs the modes asked for, each
in its own working directory under /usr/bin/time -v, and scores every model against the native
with `vorb-tools score`:
  23  completion of the trace;            2   backbone rebuilding on the fixed trace;
  8   secondary structure of the native, whose seq0.dat is the seq.dat of the refinements;
  3   refinement of the trace without a template;
  3t  the same with the native's C-alpha trace as template;
  4   refinement with the raised template weight, the trace as template;
  31  refinement of the trace with 5 % of its C-alpha atoms removed in two gaps;
  1   hydrogens of the native without its hydrogens;  5  hydrogen-bond listing of the native;
  66  restraint file of the native;  6  the same with the file of 66 as PRHB;  7  torsions.
A step whose tool is missing or fails is recorded as failed and the rest goes on. Raw rows go
to runs.tsv and scores.tsv; report.py turns them into REPORT.md.
"""

import argparse
import concurrent.futures
import csv
import datetime
import hashlib
import json
import os
import platform
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import pdbutil  # noqa: E402
import report  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
MODES = ("23", "2", "3", "3t", "4", "31", "1", "5", "66", "6", "7")
# Modes that need seq.dat from mode 8 of the native.
NEED_SEQ = ("3", "3t", "4", "31", "66", "6")

RUN_COLS = ["protein", "residues", "synthetic", "step", "status", "wall_s", "cpu_s", "user_s",
            "sys_s", "peak_kb", "note"]
SCORE_COLS = ["protein", "residues", "breaks", "step", "model", "status", "matched", "bb_rmsd",
              "sc_rmsd", "chi1", "heavy_missing", "ca_clashes", "ca_breaks", "heavy_clashes",
              "hb_recovered", "ca_rmsd_trans", "ca_rmsd_sup", "bb_rmsd_own", "hb_recovered_own",
              "hb_model_own", "hb_native_own", "pairs25", "pairs30", "pairs25_bb", "extra"]


# ---- selection of the native structures -------------------------------------------------------

def find_structures_dir():
    """The shared training set, looked for beside the project and its parents."""
    for parent in [ROOT] + list(ROOT.parents):
        cand = parent / "shared" / "structures" / "train"
        if cand.is_dir():
            return cand
    return None


def held_out(files):
    """Files at 0-based positions 9, 19, 29, ... of the list sorted by file name."""
    files = sorted(files, key=lambda p: p.name)
    return [p for i, p in enumerate(files) if i % 10 == 9]


def count_residues(path):
    """Residues with a C-alpha under the program's line filter."""
    n = 0
    for res in pdbutil.residues(pdbutil.read_atoms(path)):
        if any(a.name == " CA " for a in res):
            n += 1
    return n


# ---- running one step -------------------------------------------------------------------------

def parse_time_v(path):
    out = {}
    try:
        text = Path(path).read_text()
    except OSError:
        return out
    for line in text.splitlines():
        key, _, val = line.strip().rpartition(": ")
        if key == "Maximum resident set size (kbytes)":
            out["peak_kb"] = int(val)
        elif key == "User time (seconds)":
            out["user_s"] = float(val)
        elif key == "System time (seconds)":
            out["sys_s"] = float(val)
    return out


def first_line(path, limit=160):
    try:
        for line in Path(path).read_text(errors="replace").splitlines():
            if line.strip():
                return line.strip()[:limit]
    except OSError:
        pass
    return ""


def run_step(cmd, cwd, name, timeout, outputs=()):
    """Runs cmd in cwd under /usr/bin/time -v; returns a row dict (status, wall time, CPU time
    with microsecond resolution from the process's resource usage, peak memory)."""
    row = {"status": "ok", "wall_s": "", "cpu_s": "", "user_s": "", "sys_s": "", "peak_kb": "",
           "note": ""}
    exe = cmd[0]
    if not (os.path.isfile(exe) and os.access(exe, os.X_OK)):
        row["status"] = "missing-tool"
        row["note"] = "not found: " + exe
        return row
    out_f, err_f, time_f = cwd / (name + ".out"), cwd / (name + ".err"), cwd / (name + ".time")
    timer = ["/usr/bin/time", "-v", "-o", str(time_f)] if os.path.exists("/usr/bin/time") else []
    killed = []

    def kill(pid):
        killed.append(pid)
        try:
            os.killpg(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass

    with open(out_f, "w") as out, open(err_f, "w") as err:
        t0 = time.perf_counter()
        proc = subprocess.Popen(timer + [str(c) for c in cmd], cwd=cwd, stdout=out, stderr=err,
                                stdin=subprocess.DEVNULL, start_new_session=True)
        watchdog = threading.Timer(timeout, kill, (proc.pid,))
        watchdog.start()
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - t0
        watchdog.cancel()
        rc = os.waitstatus_to_exitcode(status)
        proc.returncode = rc
    row["wall_s"] = "%.4f" % wall
    if killed:
        row["status"] = "timeout"
        row["note"] = "killed after %d s" % timeout
        return row
    # The usage covers the timer and the program it waited for; the timer's share is tiny.
    row["user_s"], row["sys_s"] = "%.4f" % usage.ru_utime, "%.4f" % usage.ru_stime
    row["cpu_s"] = "%.4f" % (usage.ru_utime + usage.ru_stime)
    row["peak_kb"] = str(parse_time_v(time_f).get("peak_kb", usage.ru_maxrss))
    err_line = first_line(err_f)
    if rc != 0:
        row["status"] = "failed"
        row["note"] = "exit %d: %s" % (rc, err_line)
    elif err_line.startswith("STOP"):
        row["status"] = "stopped"
        row["note"] = err_line
    else:
        for o in outputs:
            p = cwd / o
            if not p.is_file() or p.stat().st_size == 0:
                row["status"] = "no-output"
                row["note"] = ("missing " + o + ("; " + first_line(out_f) if first_line(out_f)
                                                 else ""))[:200]
                break
    return row


def digest(paths):
    h = hashlib.sha256()
    for p in paths:
        h.update(p.read_bytes() if p.is_file() else b"<missing>")
    return h.hexdigest()


def run_repeated(cmd, cwd, name, timeout, outputs, repeat):
    """run_step up to repeat times while it succeeds; keeps the least wall and CPU time (the
    machine is shared) and notes when the outputs or standard output differ between runs."""
    best, seen, cpu = None, set(), []
    files = [cwd / o for o in outputs] + [cwd / (name + ".out")]
    for _ in range(max(1, repeat)):
        row = run_step(cmd, cwd, name, timeout, outputs)
        if row["status"] != "ok":
            return row
        seen.add(digest(files))
        cpu.append(float(row["cpu_s"]))
        if best is None or float(row["wall_s"]) < float(best["wall_s"]):
            best = row
    best["cpu_s"] = "%.4f" % min(cpu)
    if len(seen) > 1:
        best["note"] = "outputs differ between %d identical runs" % repeat
    elif repeat > 1:
        best["note"] = "fastest of %d runs, outputs identical" % repeat
    return best


# ---- scoring ----------------------------------------------------------------------------------

NUM = re.compile(r"[-+]?(?:\d+\.\d*|\.\d+|\d+)(?:[eE][-+]?\d+)?")
FRACTIONS = ("chi1", "hb_recovered")


def score_field(label):
    """Column for a "name: value" line of the scoring tool, or None."""
    t = label.lower()
    if "matched" in t:
        return "matched"
    if "rmsd" in t and "side" in t:
        return "sc_rmsd"
    if "rmsd" in t and any(k in t for k in ("backbone", "n, c, o", "n,c,o", "n c o", "nco",
                                                  "n/c/o")):
        return "bb_rmsd"
    if "chi1" in t or "chi 1" in t:
        return "chi1"
    if "missing" in t:
        return "heavy_missing"
    if any(k in t for k in ("hydrogen bond", "hydrogen-bond", "h-bond", "hbond", "h bond")):
        return "hb_recovered"
    if "clash" in t and "heavy" in t:
        return "heavy_clashes"
    if "clash" in t:
        return "ca_clashes"
    if "break" in t:
        return "ca_breaks"
    return None


def parse_score(text):
    """Figures of the scoring tool's output; unknown lines are kept in "extra"."""
    out, extra = {}, []
    for line in text.splitlines():
        label, sep, value = line.partition(":")
        if not sep:
            continue
        label, value = label.strip(), value.strip()
        field = score_field(label)
        nums = NUM.findall(value)
        if field is None or not nums:
            if label and value:
                extra.append("%s=%s" % (label, value))
            continue
        if field in FRACTIONS:
            ratio = re.search(r"(\d+)\s*(?:/|of)\s*(\d+)", value)
            if ratio and ratio.group(1) == nums[0] and float(ratio.group(2)) > 0:
                v = float(ratio.group(1)) / float(ratio.group(2))
            elif "%" in value:
                v = float(nums[0]) / 100.0
            else:
                v = float(nums[0])
                if v > 1.0:
                    v /= 100.0
            out[field] = "%.4f" % v
        elif field == "ca_clashes" and "break" in label.lower() and len(nums) > 1:
            out["ca_clashes"], out["ca_breaks"] = nums[0], nums[1]
        else:
            out[field] = nums[0]
    out["extra"] = "; ".join(extra)[:300]
    return out


def score_model(tools, native, model, cwd, name, trace, hdd, timeout):
    row = {c: "" for c in SCORE_COLS}
    row["model"] = model.name
    if not model.is_file():
        row["status"] = "no-model"
        return row
    # The models are numbered 1..n as their traces are (ca-trace): matched by position.
    r = run_step([tools, "score", "--by-order", native, model], cwd, "score_" + name, timeout)
    row["status"] = "ok" if r["status"] == "ok" else "score-" + r["status"]
    if r["status"] == "ok":
        row.update(parse_score((cwd / ("score_" + name + ".out")).read_text(errors="replace")))
    # The harness's own figures; a file they cannot parse leaves them blank.
    if trace is not None and trace.is_file():
        try:
            _, t, s = pdbutil.ca_rmsd(model, trace)
            row["ca_rmsd_trans"] = "" if t is None else "%.3f" % t
            row["ca_rmsd_sup"] = "" if s is None else "%.3f" % s
        except (OSError, ValueError, IndexError, ZeroDivisionError):
            pass
    try:
        _, bb = pdbutil.backbone_rmsd(model, native)
        row["bb_rmsd_own"] = "" if bb is None else "%.3f" % bb
    except (OSError, ValueError, IndexError, ZeroDivisionError):
        pass
    try:
        nat, mod, common = pdbutil.hbond_recovery(model, native)
        row["hb_native_own"], row["hb_model_own"] = str(nat), str(mod)
        row["hb_recovered_own"] = "%.4f" % (common / nat) if nat else ""
    except (OSError, ValueError, IndexError, ZeroDivisionError):
        pass
    if hdd is not None and hdd.is_file():
        try:
            counts = pdbutil.close_heavy_pairs(model, hdd)
        except (OSError, ValueError, IndexError, ZeroDivisionError):
            counts = None
        if counts:
            row["pairs25"], row["pairs30"] = str(counts[2.5]), str(counts[3.0])
            row["pairs25_bb"] = str(counts[("backbone", 2.5)])
    return row


# Models scored per step: (job directory, model file, compared with the trace, topology).
MODELS = {
    "23": ("m23", "trace.pdb.h", True, "Hdd.trace"),
    "2": ("m2", "trace.pdb.h", True, "Hdd.trace"),
    "3": ("m3", "trace.pdb.h", True, "Hdd.trace"),
    "3-fix": ("m3", "trace.pdb.fix", True, "Hdd.trace"),
    "3t": ("m3t", "trace.pdb.h", True, "Hdd.trace"),
    "4": ("m4", "trace.pdb.h", True, "Hdd.trace"),
    "31": ("m31", "trace_gaps.pdb.h", True, "Hdd.trace"),
    "1": ("m1", "native_noh.pdb.h", False, "Hdd.native"),
}


def score_step(tools, work, step, prot_name, residues, breaks, timeout):
    d, model, with_trace, hdd = MODELS[step]
    prep = work / "prep"
    row = score_model(tools, prep / "native.pdb", work / d / model, work / d,
                      model.replace(".", "_"), prep / "trace.pdb" if with_trace else None,
                      prep / hdd, timeout)
    row.update({"protein": prot_name, "residues": residues, "breaks": breaks, "step": step})
    return row


def trace_breaks(trace):
    if not trace.is_file():
        return 0
    ca = pdbutil.ca_by_resnum(trace)
    return pdbutil.chain_breaks([ca[k] for k in sorted(ca)])


def rescore(opt):
    """Scores again the models a previous run left in the work directory (for a newer scorer
    or harness) and rewrites scores.tsv; the runs themselves are not repeated."""
    runs = report.read_tsv(opt.out / "runs.tsv")
    tools = str(opt.bin / "vorb-tools")
    rows = []
    for r in runs:
        if r["status"] != "ok" or r.get("synthetic") == "1" or r["step"] not in MODELS:
            continue
        work = opt.work / r["protein"]
        breaks = trace_breaks(work / "prep" / "trace.pdb")
        for step in [s for s in MODELS if s.split("-")[0] == r["step"]]:
            rows.append(score_step(tools, work, step, r["protein"], r["residues"], breaks,
                                   opt.timeout))
    with open(opt.out / "scores.tsv", "w", newline="") as f:
        w = csv.DictWriter(f, SCORE_COLS, delimiter="\t", extrasaction="ignore")
        w.writeheader()
        w.writerows(rows)
    return len(rows)


# ---- one protein ------------------------------------------------------------------------------

class Protein:
    def __init__(self, name, path, residues, synthetic=False):
        self.name, self.path, self.residues, self.synthetic = name, Path(path), residues, synthetic


def fresh_dir(path):
    if path.exists():
        shutil.rmtree(path)
    path.mkdir(parents=True)
    return path


def bench_protein(prot, opt, runs, scores):
    """Runs every step for one protein, appending to the run rows and score rows."""
    work = fresh_dir(opt.work / prot.name)
    vorb, tools, lib = str(opt.bin / "VORB"), str(opt.bin / "vorb-tools"), str(opt.lib)
    state = {}

    def record(step, row):
        row.update({"protein": prot.name, "residues": prot.residues,
                    "synthetic": int(prot.synthetic), "step": step})
        runs.append(row)
        state[step] = row["status"] == "ok"
        return state[step]

    def skipped(step, why):
        record(step, {"status": "skipped", "note": why})

    prep = work / "prep"
    prep.mkdir()
    native = prep / "native.pdb"
    shutil.copyfile(prot.path, native)
    trace = prep / "trace.pdb"
    record("ca-trace", run_step([tools, "ca-trace", native, trace], prep, "ca-trace",
                                opt.timeout, ["trace.pdb"]))
    hdd_trace = prep / "Hdd.trace"
    if state["ca-trace"]:
        record("hdd-trace", run_step([tools, "hdd", trace, "-o", hdd_trace], prep, "hdd-trace",
                                     opt.timeout, ["Hdd.trace"]))
    else:
        skipped("hdd-trace", "no trace")
    need_native = any(m in opt.modes for m in NEED_SEQ + ("1", "5", "7"))
    hdd_native, native_r, noh = prep / "Hdd.native", prep / "native_r.pdb", prep / "native_noh.pdb"
    if need_native:
        row = run_step([tools, "hdd", native, "-o", hdd_native, "--renumbered", native_r], prep,
                       "hdd-native", opt.timeout, ["Hdd.native", "native_r.pdb"])
        if row["status"] in ("failed", "no-output"):
            # Without the renumbered copy the native itself serves: the analysis modes number
            # residues in file order anyway.
            retry = run_step([tools, "hdd", native, "-o", hdd_native], prep, "hdd-native",
                             opt.timeout, ["Hdd.native"])
            if retry["status"] == "ok":
                shutil.copyfile(native, native_r)
                retry["note"] = "without --renumbered (" + row["note"][:80] + ")"
                row = retry
        if record("hdd-native", row):
            pdbutil.strip_hydrogens(native_r, noh)
    breaks = trace_breaks(trace)

    def job_dir(step, hdd, files):
        d = work / ("m" + step.replace("-", ""))
        d.mkdir()
        shutil.copyfile(hdd, d / "Hdd")
        for src, dst in files:
            shutil.copyfile(src, d / dst)
        return d

    def score(step):
        # Only models of runs that ended well count; synthetic chains have no native.
        if prot.synthetic or not state.get(step.split("-")[0]):
            return
        scores.append(score_step(tools, work, step, prot.name, prot.residues, breaks,
                                 opt.timeout))

    trace_ready = state.get("ca-trace") and state.get("hdd-trace")
    native_ready = state.get("hdd-native")

    def build(step, mode, structure, outputs, seq=None, template=None):
        """A building or refinement run on the trace (or its gapped copy)."""
        if not trace_ready:
            skipped(step, "no trace or topology")
            return
        files = [(prep / structure, structure)] + ([(seq, "seq.dat")] if seq else [])
        d = job_dir(step, hdd_trace, files)
        row = run_repeated([vorb, mode, structure, lib] + ([template] if template else []), d,
                           "vorb", opt.timeout, outputs, opt.repeat)
        if step in NEED_SEQ and seq is None and row["status"] == "ok":
            row["note"] = "; ".join(x for x in ("ran without seq.dat", row["note"]) if x)
        record(step, row)
        score(step)

    def analyse(step, mode, structure, outputs, extra=()):
        """An analysis run on the native (renumbered, or without its hydrogens)."""
        if not native_ready:
            skipped(step, "no native topology")
            return None
        d = job_dir(step, hdd_native, [(prep / structure, structure)] + list(extra))
        record(step, run_repeated([vorb, mode, structure], d, "vorb", opt.timeout, outputs,
                                  opt.repeat))
        return d

    if "23" in opt.modes:
        build("23", "23", "trace.pdb", ["trace.pdb.h"])
    if "2" in opt.modes:
        build("2", "2", "trace.pdb", ["trace.pdb.h"])
    seq = None
    if any(m in opt.modes for m in NEED_SEQ):
        d = analyse("8", "8", "native_r.pdb", ["seq0.dat", "chi1"])
        if d is not None and state.get("8"):
            seq = d / "seq0.dat"
    refined = ["trace.pdb.h", "trace.pdb.fix"]
    if "3" in opt.modes:
        build("3", "3", "trace.pdb", refined, seq)
        score("3-fix")
    if "3t" in opt.modes:
        # The refinement's intended use: the native's own C-alpha trace as template.
        build("3t", "3", "trace.pdb", refined, seq, "trace.pdb")
    if "4" in opt.modes:
        build("4", "4", "trace.pdb", refined, seq, "trace.pdb")
    if "31" in opt.modes:
        if trace_ready:
            pdbutil.gapped_trace(trace, prep / "trace_gaps.pdb")
        build("31", "31", "trace_gaps.pdb", ["trace_gaps.pdb.h", "trace_gaps.pdb.fix"], seq)
    if "1" in opt.modes:
        if analyse("1", "1", "native_noh.pdb", ["native_noh.pdb.h"]) is not None:
            score("1")
    if "5" in opt.modes:
        analyse("5", "5", "native_noh.pdb", ["chi1"])
    seq_file = [(seq, "seq.dat")] if seq else []
    prhb = None
    if "66" in opt.modes:
        d = analyse("66", "66", "native_noh.pdb", ["PRHB2"], seq_file)
        if d is not None and state.get("66"):
            prhb = d / "PRHB2"
    if "6" in opt.modes:
        analyse("6", "6", "native_noh.pdb", ["PRHB2"],
                seq_file + ([(prhb, "PRHB")] if prhb else []))
        if prhb is None and state.get("6"):
            runs[-1]["note"] = "; ".join(x for x in ("ran without PRHB", runs[-1]["note"]) if x)
    if "7" in opt.modes:
        analyse("7", "7", "native_r.pdb", ["chi1"])


# ---- the whole run ----------------------------------------------------------------------------

def git_commit():
    try:
        head = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", "HEAD"],
                              capture_output=True, text=True, check=True).stdout.strip()
        # Changes to the benchmark scripts themselves do not change what is measured.
        dirty = subprocess.run(["git", "-C", str(ROOT), "status", "--porcelain", "-uno", "--",
                                ".", ":(exclude)bench"],
                               capture_output=True, text=True).stdout.strip()
        return head + (" with local changes" if dirty else "")
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def cpu_model():
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def library_name(lib):
    if not lib.is_file():
        return "%s (missing)" % lib.name
    try:
        return str(lib.relative_to(ROOT))
    except ValueError:
        return str(lib)


def parse_args(argv):
    p = argparse.ArgumentParser(prog="bench/run.sh", description=__doc__.splitlines()[0])
    p.add_argument("dir", nargs="?", help="directory of native *.pdb files (default: the "
                   "held-out part of the shared training set)")
    p.add_argument("--modes", default=",".join(MODES), help="modes to run (default all: %s; "
                   "3t is mode 3 with the native's C-alpha trace as template)" % ",".join(MODES))
    p.add_argument("--jobs", type=int, default=1, help="proteins run at once (default 1; more "
                   "makes the timings noisier)")
    p.add_argument("--limit", type=int, default=0, help="only the first K structures by name")
    p.add_argument("--quick", action="store_true", help="smoke check: the five smallest "
                   "structures, no synthetic chain, results under out/bench-quick")
    p.add_argument("--heldout", action="store_true", help="apply the held-out split to DIR too")
    p.add_argument("--synthetic", default="1100,1500", help="lengths of synthetic chains to add "
                   "when no structure is that long (0 for none)")
    p.add_argument("--repeat", type=int, default=1, help="runs of each VORB step: the fastest "
                   "is kept and the outputs of all are compared (default 1)")
    p.add_argument("--timeout", type=int, default=3600, help="seconds per step (default 3600)")
    p.add_argument("--bin", default=str(ROOT / "build" / "release"),
                   help="directory holding VORB and vorb-tools")
    p.add_argument("--lib", default=str(ROOT / "data" / "BBdat"), help="fragment library")
    p.add_argument("--out", help="results directory (default bench/results)")
    p.add_argument("--work", help="scratch directory (default out/bench/work)")
    p.add_argument("--rescore", action="store_true",
                   help="score again the models left in the work directory, then report")
    p.add_argument("--report-only", action="store_true",
                   help="rewrite REPORT.md and the plots from the existing TSV files")
    opt = p.parse_args(argv)
    opt.modes = [m.strip() for m in opt.modes.split(",") if m.strip()]
    bad = [m for m in opt.modes if m not in MODES]
    if bad:
        p.error("unknown mode(s) %s; choose from %s" % (",".join(bad), ",".join(MODES)))
    default_out = ROOT / "out" / "bench-quick" if opt.quick else ROOT / "bench" / "results"
    opt.out = Path(opt.out) if opt.out else default_out
    opt.work = Path(opt.work) if opt.work else (opt.out / "work" if opt.quick
                                                else ROOT / "out" / "bench" / "work")
    opt.bin, opt.lib = Path(opt.bin).resolve(), Path(opt.lib).resolve()
    opt.synthetic = [int(x) for x in opt.synthetic.split(",") if x.strip() and int(x) > 0]
    return opt


def select_proteins(opt):
    if opt.dir:
        files = sorted(Path(opt.dir).glob("*.pdb"), key=lambda p: p.name)
        if opt.heldout:
            files = held_out(files)
        source = str(Path(opt.dir).resolve()) + (" (held-out part)" if opt.heldout else "")
    else:
        base = find_structures_dir()
        if base is None:
            sys.exit("no structure directory given and the shared training set was not found")
        files = held_out(base.glob("*.pdb"))
        source = "held-out part of the shared training set (every tenth file by name)"
    if opt.limit > 0:
        files = files[:opt.limit]
    prots = [Protein(f.stem, f, count_residues(f)) for f in files]
    if opt.quick:
        prots = sorted(prots, key=lambda p: (p.residues, p.name))[:5]
    return prots, source


def add_synthetic(prots, opt):
    out = []
    longest = max((p.residues for p in prots), default=0)
    sources = [p.path for p in sorted(prots, key=lambda p: (-p.residues, p.name))]
    syn_dir = opt.work / "synthetic"
    for n in opt.synthetic:
        if longest >= n or not sources:
            continue
        syn_dir.mkdir(parents=True, exist_ok=True)
        path = syn_dir / ("synthetic_%d.pdb" % n)
        got = pdbutil.synthetic_chain(sources, n, path)
        out.append(Protein("synthetic_%d" % n, path, got, synthetic=True))
    return out


def main(argv):
    opt = parse_args(argv)
    opt.out.mkdir(parents=True, exist_ok=True)
    runs_tsv, scores_tsv, meta_json = (opt.out / "runs.tsv", opt.out / "scores.tsv",
                                       opt.out / "meta.json")
    if opt.rescore:
        print("%d models scored" % rescore(opt))
    if opt.report_only or opt.rescore:
        print("report written to %s" % report.write_report(opt.out))
        return 0
    prots, source = select_proteins(opt)
    if not prots:
        sys.exit("no structures selected")
    opt.work.mkdir(parents=True, exist_ok=True)
    started = time.perf_counter()
    synthetic = [] if opt.quick else add_synthetic(prots, opt)
    everything = prots + synthetic
    meta = {
        "command": "bash bench/run.sh " + " ".join(argv),
        "date": datetime.datetime.now().strftime("%Y-%m-%d %H:%M"),
        "commit": git_commit(),
        "machine": "%s, %d cores" % (cpu_model(), os.cpu_count() or 0),
        "source": source,
        "proteins": len(prots),
        "synthetic": [p.residues for p in synthetic],
        "modes": opt.modes,
        "jobs": opt.jobs,
        "repeat": opt.repeat,
        "load": "%.2f" % os.getloadavg()[0],
        "library": library_name(opt.lib),
    }
    meta_json.write_text(json.dumps(meta, indent=1) + "\n")
    lock = threading.Lock()
    with open(runs_tsv, "w", newline="") as rf, open(scores_tsv, "w", newline="") as sf:
        rw = csv.DictWriter(rf, RUN_COLS, delimiter="\t", extrasaction="ignore")
        sw = csv.DictWriter(sf, SCORE_COLS, delimiter="\t", extrasaction="ignore")
        rw.writeheader()
        sw.writeheader()

        def one(p):
            runs, scores = [], []
            try:
                bench_protein(p, opt, runs, scores)
            except Exception as e:  # a harness fault on one protein must not end the run
                runs.append({"protein": p.name, "residues": p.residues,
                             "synthetic": int(p.synthetic), "step": "harness",
                             "status": "failed", "note": repr(e)[:200]})
            with lock:
                for r in runs:
                    rw.writerow(r)
                for s in scores:
                    sw.writerow(s)
                rf.flush()
                sf.flush()
                summary = " ".join("%s:%s" % (r["step"], r["status"]) for r in runs
                                   if r["step"] in MODES + ("8", "harness"))
                print("%-14s %5d  %s" % (p.name, p.residues, summary), flush=True)

        # The longest chains first, so that a parallel run does not end waiting on them.
        order = sorted(everything, key=lambda p: -p.residues) if opt.jobs > 1 else everything
        if opt.jobs > 1:
            with concurrent.futures.ThreadPoolExecutor(opt.jobs) as ex:
                list(ex.map(one, order))
        else:
            for p in order:
                one(p)
    meta["finished"] = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
    meta["elapsed_min"] = "%.1f" % ((time.perf_counter() - started) / 60.0)
    meta["load_end"] = "%.2f" % os.getloadavg()[0]
    meta_json.write_text(json.dumps(meta, indent=1) + "\n")
    path = report.write_report(opt.out)
    print("report written to %s" % path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
