"""Structure helpers for the benchmark harness (standard library only).

Reads PDB files with the program's own line filter (ATOM records, alternate location blank or
"A", reading stops at the first "TER" or "END"), writes fixed-column ATOM records, makes
hydrogen-free copies and synthetic long chains, and computes the figures the scoring tool does
not: C-alpha RMSD (translation removed, and after optimal superposition) and close heavy-atom
pairs more than three bonds apart, with the covalent graph taken from the topology file.
"""

import math
import random

AFN = ("GLY ALA SER CYS VAL THR ILE PRO MET ASP ASN LEU LYS GLU GLN ARG HIS PHE TYR TRP").split()


class Atom:
    __slots__ = ("name", "resname", "resnum", "icode", "x", "y", "z", "element")

    def __init__(self, name, resname, resnum, icode, x, y, z, element):
        self.name = name          # 4 characters as in columns 13-16
        self.resname = resname
        self.resnum = resnum
        self.icode = icode
        self.x, self.y, self.z = x, y, z
        self.element = element    # columns 77-78 stripped, may be empty


def _num(text, conv):
    text = text.strip()
    return conv(text) if text else conv(0)


def read_atoms(path):
    """ATOM records of a file under the program's line filter, in file order."""
    atoms = []
    with open(path, encoding="latin-1") as f:
        for raw in f:
            line = raw.rstrip("\r\n")[:100]
            if line.startswith("END") or line.startswith("TER"):
                break
            if not line.startswith("ATOM"):
                continue
            line = line.ljust(80)
            if line[16] not in " A":
                continue
            atoms.append(Atom(line[12:16], line[17:20], _num(line[22:26], int), line[26],
                              _num(line[30:38], float), _num(line[38:46], float),
                              _num(line[46:54], float), line[76:78].strip()))
    return atoms


def is_hydrogen(a):
    if a.element:
        return a.element.upper() in ("H", "D")
    name = a.name.strip().lstrip("0123456789")
    return name[:1] in ("H", "D")


def residues(atoms):
    """Groups atoms into residues by residue number and insertion code in file order; within a
    residue the first record of an atom name wins."""
    out = []
    key = None
    for a in atoms:
        k = (a.resnum, a.icode)
        if k != key:
            out.append([])
            key = k
        if all(b.name != a.name for b in out[-1]):
            out[-1].append(a)
    return out


def format_atom(serial, a, resnum):
    """One ATOM record: serial 7-11, name 13-16, residue 18-20, chain A, number 23-26, x y z,
    occupancy, B, element."""
    elem = a.element or a.name.strip().lstrip("0123456789")[:1]
    return "ATOM  %5d %-4s %3s A%4d    %8.3f%8.3f%8.3f  1.00  0.00          %2s\n" % (
        serial % 100000, a.name, a.resname, resnum % 10000, a.x, a.y, a.z, elem[:2])


def write_residues(path, res_list):
    """Writes residues numbered 1..n (heavy atoms and hydrogens as given), TER and END."""
    serial = 0
    with open(path, "w") as f:
        for i, res in enumerate(res_list, start=1):
            for a in res:
                serial += 1
                f.write(format_atom(serial, a, i))
        f.write("TER\nEND\n")


def strip_hydrogens(src, dst):
    """Copies the taken ATOM lines of src without hydrogens (file residue numbers kept)."""
    n = 0
    with open(src, encoding="latin-1") as f, open(dst, "w") as g:
        for raw in f:
            line = raw.rstrip("\r\n")
            if line.startswith("END") or line.startswith("TER"):
                break
            if not line.startswith("ATOM"):
                continue
            padded = line.ljust(80)
            if padded[16] not in " A":
                continue
            a = Atom(padded[12:16], "", 0, " ", 0.0, 0.0, 0.0, padded[76:78].strip())
            if is_hydrogen(a):
                continue
            g.write(line + "\n")
            n += 1
        g.write("TER\nEND\n")
    return n


def ca_by_resnum(path):
    """{residue number: (x, y, z)} of the C-alpha atoms (first one of a number wins)."""
    out = {}
    for a in read_atoms(path):
        if a.name == " CA " and a.resnum not in out:
            out[a.resnum] = (a.x, a.y, a.z)
    return out


def chain_breaks(ca_list, limit=4.2):
    """Consecutive C-alpha pairs farther apart than limit."""
    return sum(1 for p, q in zip(ca_list, ca_list[1:]) if math.dist(p, q) > limit)


# ---- RMSD -------------------------------------------------------------------------------------

def _centroid(pts):
    n = len(pts)
    return tuple(sum(p[k] for p in pts) / n for k in range(3))


def rmsd_translation(p, q):
    """RMSD of two equally long point lists after removing the mean offset only."""
    cp, cq = _centroid(p), _centroid(q)
    s = sum(sum((a[k] - cp[k] - b[k] + cq[k]) ** 2 for k in range(3)) for a, b in zip(p, q))
    return math.sqrt(s / len(p))


def _jacobi_max_eigen(m):
    """Largest eigenvalue of a symmetric 4 x 4 matrix by cyclic Jacobi rotations."""
    a = [row[:] for row in m]
    for _ in range(100):
        off = sum(a[i][j] ** 2 for i in range(4) for j in range(4) if i != j)
        if off < 1e-22:
            break
        for p in range(3):
            for q in range(p + 1, 4):
                if abs(a[p][q]) < 1e-300:
                    continue
                theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q])
                t = math.copysign(1.0, theta) / (abs(theta) + math.sqrt(theta * theta + 1.0))
                c = 1.0 / math.sqrt(t * t + 1.0)
                s = t * c
                for k in range(4):
                    akp, akq = a[k][p], a[k][q]
                    a[k][p] = c * akp - s * akq
                    a[k][q] = s * akp + c * akq
                for k in range(4):
                    apk, aqk = a[p][k], a[q][k]
                    a[p][k] = c * apk - s * aqk
                    a[q][k] = s * apk + c * aqk
    return max(a[i][i] for i in range(4))


def rmsd_superposed(p, q):
    """Minimal RMSD over rotations and translations (quaternion method)."""
    n = len(p)
    cp, cq = _centroid(p), _centroid(q)
    x = [(a[0] - cp[0], a[1] - cp[1], a[2] - cp[2]) for a in p]
    y = [(b[0] - cq[0], b[1] - cq[1], b[2] - cq[2]) for b in q]
    s = [[sum(u[i] * v[j] for u, v in zip(x, y)) for j in range(3)] for i in range(3)]
    sxx, sxy, sxz = s[0]
    syx, syy, syz = s[1]
    szx, szy, szz = s[2]
    k = [[sxx + syy + szz, syz - szy, szx - sxz, sxy - syx],
         [syz - szy, sxx - syy - szz, sxy + syx, szx + sxz],
         [szx - sxz, sxy + syx, -sxx + syy - szz, syz + szy],
         [sxy - syx, szx + sxz, syz + szy, -sxx - syy + szz]]
    g = sum(c * c for u in x for c in u) + sum(c * c for v in y for c in v)
    lam = _jacobi_max_eigen(k)
    return math.sqrt(max(0.0, (g - 2.0 * lam) / n))


def ca_rmsd(model_path, ref_path):
    """(matched residues, RMSD after removing translation, RMSD after superposition) of the
    C-alpha atoms of two files numbered alike."""
    m, r = ca_by_resnum(model_path), ca_by_resnum(ref_path)
    keys = sorted(set(m) & set(r))
    if len(keys) < 3:
        return len(keys), None, None
    p = [m[k] for k in keys]
    q = [r[k] for k in keys]
    return len(keys), rmsd_translation(p, q), rmsd_superposed(p, q)


def backbone_rmsd(model_path, native_path):
    """(atoms matched, RMSD) of the N, C and O atoms of a model numbered 1..n by position
    against the native's residues with a C-alpha, in that order, after removing the mean
    C-alpha offset (the program only translates the model into its lattice frame)."""
    nat = [r for r in residues(read_atoms(native_path)) if any(a.name == " CA " for a in r)]
    model = {}
    for a in read_atoms(model_path):
        model.setdefault((a.resnum, a.name), (a.x, a.y, a.z))
    shift, pairs = [0.0, 0.0, 0.0], []
    n_ca = 0
    for k, res in enumerate(nat, start=1):
        for a in res:
            m = model.get((k, a.name))
            if m is None:
                continue
            if a.name == " CA ":
                n_ca += 1
                for c in range(3):
                    shift[c] += m[c] - (a.x, a.y, a.z)[c]
            elif a.name in (" N  ", " C  ", " O  "):
                pairs.append((m, (a.x, a.y, a.z)))
    if n_ca == 0 or not pairs:
        return len(pairs), None
    shift = [c / n_ca for c in shift]
    s = sum(sum((m[c] - shift[c] - q[c]) ** 2 for c in range(3)) for m, q in pairs)
    return len(pairs), math.sqrt(s / len(pairs))


def _backbone_by_position(path):
    """Per residue with a C-alpha, in file order: (name, {atom name: (x, y, z)})."""
    out = []
    for res in residues(read_atoms(path)):
        atoms = {a.name: (a.x, a.y, a.z) for a in res}
        if " CA " in atoms:
            out.append((res[0].resname, atoms))
    return out


def backbone_hbonds(path):
    """Backbone N-H..O=C pairs (donor, acceptor) as 0-based residue positions, by the
    electrostatic criterion E < -0.5 kcal/mol; the amide H is put 1 A from N opposite the
    previous residue's C=O, and a residue whose N lies over 2 A from the previous C (or a
    proline) donates none."""
    res = _backbone_by_position(path)
    n = len(res)
    ok = [all(k in r[1] for k in (" N  ", " CA ", " C  ", " O  ")) for r in res]
    hpos = [None] * n
    for i in range(1, n):
        if not (ok[i] and ok[i - 1]) or res[i][0] == "PRO":
            continue
        nn, c, o = res[i][1][" N  "], res[i - 1][1][" C  "], res[i - 1][1][" O  "]
        if math.dist(nn, c) > 2.0:
            continue
        d = math.dist(c, o)
        if d < 1e-6:
            continue
        hpos[i] = tuple(nn[k] + (c[k] - o[k]) / d for k in range(3))
    grid = {}
    for j in range(n):
        if ok[j]:
            ca = res[j][1][" CA "]
            grid.setdefault((int(ca[0] // 9), int(ca[1] // 9), int(ca[2] // 9)), []).append(j)
    found = set()
    for i in range(n):
        h = hpos[i]
        if h is None:
            continue
        nn, ca = res[i][1][" N  "], res[i][1][" CA "]
        cx, cy, cz = int(ca[0] // 9), int(ca[1] // 9), int(ca[2] // 9)
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                for dz in (-1, 0, 1):
                    for j in grid.get((cx + dx, cy + dy, cz + dz), ()):
                        if abs(i - j) < 2 or math.dist(ca, res[j][1][" CA "]) >= 9.0:
                            continue
                        c, o = res[j][1][" C  "], res[j][1][" O  "]
                        r_on, r_ch = math.dist(o, nn), math.dist(c, h)
                        r_oh, r_cn = math.dist(o, h), math.dist(c, nn)
                        if min(r_on, r_ch, r_oh, r_cn) < 0.5:
                            e = -9.9
                        else:
                            e = 0.084 * 332.0 * (1 / r_on + 1 / r_ch - 1 / r_oh - 1 / r_cn)
                        if e < -0.5:
                            found.add((i, j))
    return found


def hbond_recovery(model_path, native_path):
    """(native bonds, model bonds, native bonds the model has) of the backbone hydrogen bonds,
    residues paired by position."""
    nat, mod = backbone_hbonds(native_path), backbone_hbonds(model_path)
    return len(nat), len(mod), len(nat & mod)


# ---- topology graph and close contacts --------------------------------------------------------

def read_hdd(path):
    """Atom names per residue and covalent partners of the topology file: returns
    (atoms, adjacency) with atoms[i] = (residue index, residue name, stripped name) for the
    1-based atom index i (atoms[0] unused)."""
    with open(path, encoding="latin-1") as f:
        lines = f.read().splitlines()
    head = lines[0].replace(",", " ").split()
    natom = int(head[0])
    atoms = [None]
    res = 0
    for line in lines[1:1 + natom]:
        line = line.ljust(47)
        name = line[5:9]
        if name == " N  ":
            res += 1
        atoms.append((res, line[15:18], name.strip()))
    adj = [set() for _ in range(natom + 1)]
    for i, line in enumerate(lines[1 + natom:1 + 2 * natom], start=1):
        line = line.ljust(103)
        for c in (5, 12, 19, 26):
            field = line[c:c + 6].strip()
            j = int(field) if field else 0
            if 1 <= j <= natom and j != i:
                adj[i].add(j)
                adj[j].add(i)
    # The peptide bond C(r)-N(r+1) belongs to the graph whether or not the file lists it.
    by_res = {}
    for i in range(1, natom + 1):
        by_res[(atoms[i][0], atoms[i][2])] = i
    for r in range(1, res):
        c, n = by_res.get((r, "C")), by_res.get((r + 1, "N"))
        if c and n:
            adj[c].add(n)
            adj[n].add(c)
    return atoms, adj


def _within(adj, start, depth):
    seen = {start}
    frontier = [start]
    for _ in range(depth):
        nxt = []
        for i in frontier:
            for j in adj[i]:
                if j not in seen:
                    seen.add(j)
                    nxt.append(j)
        frontier = nxt
    return seen


BACKBONE = (" N  ", " CA ", " C  ", " O  ", " OXT")


def close_heavy_pairs(model_path, hdd_path, cutoffs=(2.5, 3.0)):
    """Heavy-atom pairs of a model closer than each cutoff and more than three bonds apart in
    the topology's covalent graph (disulfide SG pairs excluded). Returns {cutoff: count,
    ("backbone", cutoff): count of those pairs with both atoms in the backbone (N, CA, C, O,
    OXT)}, or None when the model's atoms cannot be matched to the topology."""
    hatoms, adj = read_hdd(hdd_path)
    index = {}
    for i in range(1, len(hatoms)):
        r, _, name = hatoms[i]
        index[(r, name)] = i
    res_names = {}
    for i in range(1, len(hatoms)):
        res_names.setdefault(hatoms[i][0], hatoms[i][1])
    model = [a for a in read_atoms(model_path) if not is_hydrogen(a)]
    if not model:
        return None
    # Residues are matched by number when the names agree, else by order of appearance.
    order, names = [], {}
    for a in model:
        if not order or order[-1] != (a.resnum, a.icode):
            order.append((a.resnum, a.icode))
        names.setdefault((a.resnum, a.icode), a.resname)
    by_number = {k: k[0] for k in order}
    agree = sum(1 for k in order if res_names.get(k[0]) == names[k])
    if agree < 0.98 * len(order):
        by_number = {k: n for n, k in enumerate(order, start=1)}
    ids = []
    for a in model:
        ids.append(index.get((by_number[(a.resnum, a.icode)], a.name.strip()), 0))
    if sum(1 for i in ids if i == 0) > 0.02 * len(ids):
        return None
    top = max(cutoffs)
    cell = {}
    for k, a in enumerate(model):
        cell.setdefault((int(a.x // top), int(a.y // top), int(a.z // top)), []).append(k)
    counts = {c: 0 for c in cutoffs}
    counts.update({("backbone", c): 0 for c in cutoffs})
    near = {}
    for k, a in enumerate(model):
        cx, cy, cz = int(a.x // top), int(a.y // top), int(a.z // top)
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                for dz in (-1, 0, 1):
                    for m in cell.get((cx + dx, cy + dy, cz + dz), ()):
                        if m <= k:
                            continue
                        b = model[m]
                        d = math.dist((a.x, a.y, a.z), (b.x, b.y, b.z))
                        if d >= top:
                            continue
                        i, j = ids[k], ids[m]
                        if i and j:
                            if i not in near:
                                near[i] = _within(adj, i, 3)
                            if j in near[i]:
                                continue
                        if a.name == " SG " and b.name == " SG ":
                            continue
                        both_bb = a.name in BACKBONE and b.name in BACKBONE
                        for c in cutoffs:
                            if d < c:
                                counts[c] += 1
                                if both_bb:
                                    counts[("backbone", c)] += 1
    return counts


def gapped_trace(src, dst, frac=0.05):
    """Copies the ATOM lines of a C-alpha trace without two runs of residues, about frac of the
    chain in all (at least two), starting a third and two thirds of the way along; returns the
    number of residues removed."""
    with open(src, encoding="latin-1") as f:
        lines = [line.rstrip("\r\n") for line in f if line.startswith("ATOM")]
    n = len(lines)
    k = max(2, round(frac * n))
    g1, g2 = k // 2, k - k // 2
    s1, s2 = n // 3, (2 * n) // 3
    drop = set(range(s1, s1 + g1)) | set(range(s2, s2 + g2))
    with open(dst, "w") as f:
        f.write("".join(line + "\n" for i, line in enumerate(lines) if i not in drop))
        f.write("TER\nEND\n")
    return len(drop)


# ---- synthetic long chain ---------------------------------------------------------------------

def _rotation(rng):
    """A uniformly random rotation matrix (from a random unit quaternion)."""
    u1, u2, u3 = rng.random(), rng.random(), rng.random()
    a = math.sqrt(1 - u1) * math.sin(2 * math.pi * u2)
    b = math.sqrt(1 - u1) * math.cos(2 * math.pi * u2)
    c = math.sqrt(u1) * math.sin(2 * math.pi * u3)
    d = math.sqrt(u1) * math.cos(2 * math.pi * u3)
    return [[1 - 2 * (c * c + d * d), 2 * (b * c - a * d), 2 * (b * d + a * c)],
            [2 * (b * c + a * d), 1 - 2 * (b * b + d * d), 2 * (c * d - a * b)],
            [2 * (b * d - a * c), 2 * (c * d + a * b), 1 - 2 * (b * b + c * c)]]


def _apply(rot, shift, p):
    return tuple(sum(rot[i][k] * p[k] for k in range(3)) + shift[i] for i in range(3))


def synthetic_chain(sources, nres, out_path, seed=1500, tries=150):
    """Joins the heavy atoms of real chains into one chain of nres residues and writes it.

    Each further chain is turned and moved so that its first C-alpha lies 3.8 A from the last
    C-alpha placed so far, choosing among seeded random placements the one with the fewest
    C-alpha atoms closer than 5 A to those already placed, then the most compact. Returns the
    number of residues written (short when the sources are too small)."""
    rng = random.Random(seed)
    placed = []       # residues (lists of Atom) in chain order
    grid = {}         # 5 A cells of the placed C-alpha atoms

    def cell(p):
        return (int(p[0] // 5.0), int(p[1] // 5.0), int(p[2] // 5.0))

    def n_close(p):
        cx, cy, cz = cell(p)
        n = 0
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                for dz in (-1, 0, 1):
                    for q in grid.get((cx + dx, cy + dy, cz + dz), ()):
                        if math.dist(p, q) < 5.0:
                            n += 1
        return n

    for path in sources:
        if len(placed) >= nres:
            break
        chain = []
        for res in residues(read_atoms(path)):
            heavy = [a for a in res if not is_hydrogen(a)]
            if res[0].resname in AFN and any(a.name == " CA " for a in heavy):
                chain.append(heavy)
        chain = chain[:nres - len(placed)]
        if not chain:
            continue
        cas = [next(a for a in r if a.name == " CA ") for r in chain]
        pts = [(a.x, a.y, a.z) for a in cas]
        first = pts[0]
        best = None
        c0 = _centroid([q for cellpts in grid.values() for q in cellpts]) if placed else None
        for _ in range(tries if placed else 1):
            rot = _rotation(rng) if placed else [[1, 0, 0], [0, 1, 0], [0, 0, 1]]
            if placed:
                last = next(a for a in placed[-1] if a.name == " CA ")
                z = 2 * rng.random() - 1
                phi = 2 * math.pi * rng.random()
                u = (math.sqrt(1 - z * z) * math.cos(phi), math.sqrt(1 - z * z) * math.sin(phi), z)
                target = (last.x + 3.8 * u[0], last.y + 3.8 * u[1], last.z + 3.8 * u[2])
            else:
                target = first
            r0 = _apply(rot, (0, 0, 0), first)
            shift = (target[0] - r0[0], target[1] - r0[1], target[2] - r0[2])
            moved = [_apply(rot, shift, p) for p in pts]
            clashes = sum(n_close(p) for p in moved[1:]) if placed else 0
            cen = _centroid(moved)
            spread = math.dist(cen, c0) if placed else 0.0
            key = (clashes, spread)
            if best is None or key < best[0]:
                best = (key, rot, shift)
        _, rot, shift = best
        for res in chain:
            new = []
            for a in res:
                x, y, z = _apply(rot, shift, (a.x, a.y, a.z))
                new.append(Atom(a.name, a.resname, 0, " ", x, y, z, a.element))
            placed.append(new)
            ca = next(a for a in new if a.name == " CA ")
            grid.setdefault(cell((ca.x, ca.y, ca.z)), []).append((ca.x, ca.y, ca.z))
    # Keep every coordinate positive and well inside the lattice the program uses.
    lo = [min(getattr(a, k) for r in placed for a in r) for k in ("x", "y", "z")]
    for r in placed:
        for a in r:
            a.x, a.y, a.z = a.x - lo[0] + 20.0, a.y - lo[1] + 20.0, a.z - lo[2] + 20.0
    write_residues(out_path, placed)
    return len(placed)
