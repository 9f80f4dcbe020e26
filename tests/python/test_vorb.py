"""The Python module against the command line: same bytes, same errors, safe across threads."""
import os
import subprocess
import tempfile
import threading
import unittest

import numpy as np

import vorb

SOURCE = os.environ["VORB_SOURCE_DIR"]
TOOLS = os.environ["VORB_TOOLS"]
EXAMPLE = os.path.join(SOURCE, "examples", "1ubi_a.pdb")
THREE = "GLY ALA SER CYS VAL THR ILE PRO MET ASP ASN LEU LYS GLU GLN ARG HIS PHE TYR TRP".split()
ONE = "GASCVTIPMDNLKEQRHFYW"


def example_trace():
    rows, seq = [], ""
    with open(EXAMPLE) as f:
        for line in f:
            if line.startswith("ATOM") and line[12:16] == " CA ":
                rows.append([float(line[30:38]), float(line[38:46]), float(line[46:54])])
                seq += ONE[THREE.index(line[17:20])]
    return np.array(rows), seq


def write_trace(path, ca, seq):
    with open(path, "w") as f:
        for i, (p, a) in enumerate(zip(ca, seq)):
            f.write("ATOM  %5d  CA  %3s A%4d    %8.3f%8.3f%8.3f  1.00  0.00           C\n"
                    % (i + 1, THREE[ONE.index(a)], i + 1, p[0], p[1], p[2]))
        f.write("TER\nEND\n")


def first_difference(a, b):
    """None when the texts are equal, else the first line that differs."""
    if a == b:
        return None
    for k, (x, y) in enumerate(zip(a.splitlines(), b.splitlines())):
        if x != y:
            return "line %d: %r != %r" % (k + 1, x, y)
    return "lengths %d != %d" % (len(a), len(b))


def tools(*args, cwd):
    return subprocess.run([TOOLS, *args], cwd=cwd, capture_output=True, text=True)


class SameAsTheCommandLine(unittest.TestCase):
    def test_models_scores_and_files_match_byte_for_byte(self):
        ca, seq = example_trace()
        with tempfile.TemporaryDirectory() as d:
            write_trace(os.path.join(d, "trace.pdb"), ca, seq)
            for mode, side in (("23", "packed"), ("3", "rules")):
                r = tools("rebuild", "trace.pdb", "--ca", "--mode", mode, "--sequence", seq,
                          "--side-chains", side, "--no-hetero", "-o", "model.pdb", cwd=d)
                self.assertEqual(r.returncode, 0, r.stderr)
                m = vorb.complete_trace(ca, seq, mode=mode, side_chains=side)
                with open(os.path.join(d, "model.pdb")) as f:
                    self.assertIsNone(first_difference(m.to_pdb(), f.read()), mode)
                self.assertEqual(m.xyz.shape, (len(m.atom_names), 3))
                self.assertEqual(sorted(set(m.residue_numbers)), list(range(1, len(seq) + 1)))
            r = tools("rebuild", "trace.pdb", "--ca", "--sequence", seq, "--no-hetero",
                      "-o", "model.cif", cwd=d)
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(os.path.join(d, "model.cif")) as f:
                self.assertIsNone(first_difference(vorb.complete_trace(ca, seq).to_mmcif(), f.read()))

            os.mkdir(os.path.join(d, "py"))
            lines = vorb.rebuild_file(EXAMPLE, os.path.join(d, "py", "cli.pdb"), ca_only=True, mode="3")
            self.assertTrue(any(l.startswith("model written to") for l in lines), lines)
            r = tools("rebuild", EXAMPLE, "--ca", "--mode", "3", "-o", "cli.pdb", cwd=d)
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(os.path.join(d, "py", "cli.pdb")) as a, open(os.path.join(d, "cli.pdb")) as b:
                self.assertIsNone(first_difference(a.read(), b.read()))

            s = vorb.score(EXAMPLE, os.path.join(d, "cli.pdb"))
            r = tools("score", EXAMPLE, "cli.pdb", cwd=d)
            expected = dict(l.split(": ", 1) for l in r.stdout.splitlines())
            self.assertEqual(sorted(s), sorted(expected))
            self.assertEqual(s["residues_matched"], int(expected["residues_matched"]))
            self.assertAlmostEqual(s["rmsd_backbone_n_c_o"], float(expected["rmsd_backbone_n_c_o"]))
            self.assertEqual(len(s["translation"]), 3)

    def test_model_is_in_the_frame_of_the_trace_and_gaps_are_built_in_mode_31(self):
        ca, seq = example_trace()
        m = vorb.complete_trace(ca + 500.0, seq)
        xyz, names = m.xyz, m.atom_names
        got = np.array([p for p, n in zip(xyz, names) if n == "CA"])
        self.assertLess(np.abs(got - (ca + 500.0)).max(), 0.002)
        gapped = ca.copy()
        gapped[30:33] = np.nan
        m = vorb.complete_trace(gapped, seq, mode="31")
        self.assertEqual(sum(n == "CA" for n in m.atom_names), len(seq))
        a, b = vorb.complete_trace(ca, seq, mode="3", seed=7), vorb.complete_trace(ca, seq, mode="3", seed=7)
        self.assertTrue(a.to_pdb() == b.to_pdb())
        self.assertEqual(a.messages, b.messages)
        # The seed reaches the run: its move statistics differ from those of the default start.
        self.assertNotEqual(a.messages, vorb.complete_trace(ca, seq, mode="3").messages)

    def test_threads_give_the_models_of_one_thread(self):
        ca, seq = example_trace()
        expected = vorb.complete_trace(ca, seq).to_pdb()
        got = [None] * 4
        def work(k):
            got[k] = vorb.complete_trace(ca, seq).to_pdb()
        threads = [threading.Thread(target=work, args=(k,)) for k in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertTrue(got == [expected] * 4)


class BadInput(unittest.TestCase):
    def test_rejected_with_value_error_naming_the_problem(self):
        ca, seq = example_trace()
        nan_row = ca.copy()
        nan_row[5] = np.nan
        half_nan = ca.copy()
        half_nan[5, 1] = np.nan
        inf = ca.copy()
        inf[2, 0] = np.inf
        cases = [
            ((ca[:, :2], seq), {}, "shape"),
            ((ca.astype(np.int64), seq), {}, "floating-point"),
            (([[0.0, 0.0, 0.0]] * len(seq), seq), {}, "numpy array"),
            ((ca, seq[:-1]), {}, "rows"),
            ((ca, seq[:-1] + "X"), {}, "twenty"),
            ((ca, ""), {}, "empty"),
            ((nan_row, seq), {}, "mode 31 only"),
            ((half_nan, seq), {"mode": "31"}, "non-finite"),
            ((inf, seq), {}, "non-finite"),
            ((ca, seq), {"mode": "5"}, "mode"),
            ((ca, seq), {"side_chains": "best"}, "side_chains"),
            ((ca, seq), {"data": "/nonexistent-vorb-data"}, "not a data directory"),
            ((ca, seq), {"template": ca[:3]}, "template"),
            ((np.full((5, 3), np.nan), "AAAAA"), {"mode": "31"}, "at least 3"),
        ]
        for args, kw, words in cases:
            with self.assertRaises(ValueError, msg=words) as e:
                vorb.complete_trace(*args, **kw)
            self.assertIn(words, str(e.exception))

    def test_a_stop_of_the_program_is_a_runtime_error_with_its_message(self):
        # Five C-alpha atoms: too few for VORB, which ends without a model.
        with self.assertRaises(RuntimeError) as e:
            vorb.complete_trace(np.array([[3.8 * i, 0.0, 0.0] for i in range(5)]), "AAAAA")
        self.assertIn("read pdb file err", str(e.exception))

    def test_files_that_cannot_be_read_or_written_leave_nothing(self):
        with tempfile.TemporaryDirectory() as d:
            out = os.path.join(d, "m.pdb")
            with self.assertRaises(ValueError):
                vorb.rebuild_file(os.path.join(d, "missing.pdb"), out)
            with self.assertRaises(ValueError):
                vorb.rebuild_file(EXAMPLE, os.path.join(d, "no", "m.pdb"))
            with self.assertRaises(ValueError):
                vorb.rebuild_file(EXAMPLE, out, chain="Z")
            with self.assertRaises(ValueError):
                vorb.score(EXAMPLE, os.path.join(d, "missing.pdb"))
            self.assertEqual(os.listdir(d), [])


if __name__ == "__main__":
    unittest.main()
