#!/usr/bin/python3
"""Models written by bench/nl_writer.py read back as intended by the project's .nl reader.

    nl_writer_test.py NL_EVAL NL_CERTIFY KAVRO

* values and first derivatives: small models using every operator and every kind of variable
  (nonlinear in both the constraints and the objective, in the constraints only, in the
  objective only, linear) are written, and `nl_eval --point` must give, at two points, the
  values and gradients of hand-written Python functions (analytic derivatives);
* starting point: `nl_eval --x` must list the start given to each variable (0 where none);
* limits: every kind of bound and row limit (range, equality, upper, lower, free), measured by
  `nl_certify` at points that break exactly one of them by a known amount;
* layout: `kavro` solves a maximization with one variable of each kind to its known optimum
  (the command refuses a file whose nonlinear variables are not laid out as the format says),
  and names its rows and columns from the STUB.row and STUB.col files written with the model.
"""

import json
import math
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import nl_writer as nw  # noqa: E402
from checks import check, finish  # noqa: E402

def close(a, b, tol=1e-10):
    return abs(a - b) <= tol * (1.0 + abs(b))


def run(args):
    done = subprocess.run(args, capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(args), done.returncode, done.stderr))
    return done.stdout


def read_eval(text):
    """nl_eval's lines: objective value and gradient, constraint values and Jacobian."""
    out = {"obj": None, "grad": {}, "con": {}, "jac": {}, "x": {}}
    for line in text.splitlines():
        f = line.split("\t")
        if f[0] == "obj" and f[1] != "none":
            out["obj"] = float(f[1])
        elif f[0] == "grad":
            out["grad"][int(f[1])] = float(f[2])
        elif f[0] == "con":
            out["con"][int(f[1])] = float(f[2])
        elif f[0] == "jac":
            out["jac"][(int(f[1]), int(f[2]))] = float(f[3])
        elif f[0] == "x":
            out["x"][int(f[1])] = float(f[2])
    return out


# Each case: the model, its constraints and objective as Python functions of x (creation order)
# with their gradients, and the points to compare at.


def every_operator_model():
    m = nw.Model("every_operator")
    x0 = m.variable(lower=0.1, upper=5.0, start=1.0)   # nonlinear in both
    x1 = m.variable(lower=0.1, start=2.0)              # nonlinear in both
    x2 = m.variable(start=-0.5)                        # nonlinear in the constraints only
    x3 = m.variable(upper=3.0)                         # nonlinear in the objective only
    x4 = m.variable(lower=-1.0, upper=1.0, start=0.25)  # linear only
    x5 = m.variable()                                  # linear in the objective only
    # Linear rows first, so that the writer has to move the nonlinear ones ahead of them.
    m.constraint(linear={x4: 1.0, x5: 2.0})                                       # free row
    m.constraint(linear={x0: 1.0, x3: -1.0}, upper=7.0)                           # x0 linear here
    m.constraint(linear={x4: -1.0}, expr=x0 * x1 + nw.exp(x2), lower=-10.0, upper=10.0)
    m.constraint(linear={x4: 2.0}, expr=nw.log(x0) + nw.sqrt(x1), lower=3.0, upper=3.0)
    m.constraint(expr=nw.sin(x0) * nw.cos(x2) / (1.0 + x1 ** 2), upper=1.0)
    m.constraint(expr=-(x2 ** 3) + nw.sumlist([x0, x1 * x2, x2 ** 2, 3.0]), lower=-5.0)
    m.constraint(linear={x0: 3.0}, expr=x0 ** 2 - 2.0 / x1 - x2, lower=0.0)      # x0 linear and not
    m.constraint(expr=nw.sumlist([x2]) + nw.sumlist([x0, x1]) + nw.sumlist([]) + 1, upper=9.0)
    m.objective(linear={x4: 2.0, x5: -1.0}, expr=(x0 - x1) ** 2 + x3 ** 4 + nw.exp(x0 * x3) - 1.5 * x1)

    cons = [
        (lambda x: x[4] + 2 * x[5], lambda x: {4: 1.0, 5: 2.0}),
        (lambda x: x[0] - x[3], lambda x: {0: 1.0, 3: -1.0}),
        (lambda x: x[0] * x[1] + math.exp(x[2]) - x[4],
         lambda x: {0: x[1], 1: x[0], 2: math.exp(x[2]), 4: -1.0}),
        (lambda x: math.log(x[0]) + math.sqrt(x[1]) + 2 * x[4],
         lambda x: {0: 1 / x[0], 1: 0.5 / math.sqrt(x[1]), 4: 2.0}),
        (lambda x: math.sin(x[0]) * math.cos(x[2]) / (1 + x[1] ** 2),
         lambda x: {0: math.cos(x[0]) * math.cos(x[2]) / (1 + x[1] ** 2),
                    1: -math.sin(x[0]) * math.cos(x[2]) * 2 * x[1] / (1 + x[1] ** 2) ** 2,
                    2: -math.sin(x[0]) * math.sin(x[2]) / (1 + x[1] ** 2)}),
        (lambda x: -x[2] ** 3 + x[0] + x[1] * x[2] + x[2] ** 2 + 3,
         lambda x: {0: 1.0, 1: x[2], 2: -3 * x[2] ** 2 + x[1] + 2 * x[2]}),
        (lambda x: 3 * x[0] + x[0] ** 2 - 2 / x[1] - x[2],
         lambda x: {0: 3 + 2 * x[0], 1: 2 / x[1] ** 2, 2: -1.0}),
        (lambda x: x[2] + x[0] + x[1] + 1, lambda x: {0: 1.0, 1: 1.0, 2: 1.0}),
    ]
    obj = (lambda x: (x[0] - x[1]) ** 2 + x[3] ** 4 + math.exp(x[0] * x[3]) - 1.5 * x[1] + 2 * x[4] - x[5],
           lambda x: {0: 2 * (x[0] - x[1]) + x[3] * math.exp(x[0] * x[3]),
                      1: -2 * (x[0] - x[1]) - 1.5,
                      3: 4 * x[3] ** 3 + x[0] * math.exp(x[0] * x[3]), 4: 2.0, 5: -1.0})
    points = [[1.3, 0.7, -0.4, 0.9, 0.2, -2.0], [0.45, 2.2, 1.1, -0.6, -0.8, 3.5]]
    start = [1.0, 2.0, -0.5, 0.0, 0.25, 0.0]
    return m, cons, obj, points, start


def objective_only_model():
    # No nonlinear constraint; every nonlinear variable is nonlinear in the objective only.
    m = nw.Model("objective_only")
    a = m.variable(start=0.5)
    b = m.variable(lower=0.0)
    c = m.variable()
    m.constraint(linear={a: 1.0, b: 1.0, c: 1.0}, lower=1.0, upper=1.0)
    m.objective(expr=nw.sumlist([(a - 1) ** 2, nw.exp(b) / (1 + c ** 2), nw.neg(a)]),
                linear={c: 0.5}, sense="max")
    cons = [(lambda x: x[0] + x[1] + x[2], lambda x: {0: 1.0, 1: 1.0, 2: 1.0})]
    obj = (lambda x: (x[0] - 1) ** 2 + math.exp(x[1]) / (1 + x[2] ** 2) - x[0] + 0.5 * x[2],
           lambda x: {0: 2 * (x[0] - 1) - 1, 1: math.exp(x[1]) / (1 + x[2] ** 2),
                      2: -math.exp(x[1]) * 2 * x[2] / (1 + x[2] ** 2) ** 2 + 0.5})
    return m, cons, obj, [[0.3, 1.7, -0.9], [-2.0, 0.1, 0.4]], [0.5, 0.0, 0.0]


def constraints_only_model():
    # A linear objective; the nonlinear variables are those of the constraints.
    m = nw.Model("constraints_only")
    u = m.variable(start=1.0)
    v = m.variable(start=1.0)
    m.constraint(expr=u ** 2 + v ** 2, upper=4.0)
    m.constraint(expr=nw.cos(u - v) * nw.exp(-v), lower=-1.0)
    m.objective(linear={u: 1.0, v: -1.0})
    cons = [(lambda x: x[0] ** 2 + x[1] ** 2, lambda x: {0: 2 * x[0], 1: 2 * x[1]}),
            (lambda x: math.cos(x[0] - x[1]) * math.exp(-x[1]),
             lambda x: {0: -math.sin(x[0] - x[1]) * math.exp(-x[1]),
                        1: (math.sin(x[0] - x[1]) - math.cos(x[0] - x[1])) * math.exp(-x[1])})]
    obj = (lambda x: x[0] - x[1], lambda x: {0: 1.0, 1: -1.0})
    return m, cons, obj, [[0.2, -1.4], [1.9, 0.6]], [1.0, 1.0]


def check_values(tools, folder, case):
    m, cons, obj, points, start = case
    path = os.path.join(folder, m.name + ".nl")
    layout = m.write(path)
    check(len(cons) == m.m, "%s: the test lists every constraint" % m.name)
    listed = read_eval(run([tools["nl_eval"], "--x", path]))
    for v in range(m.n):
        check(close(listed["x"][layout.column[v]], start[v]),
              "%s: start of variable %d is %r, not %r" % (m.name, v, listed["x"][layout.column[v]], start[v]))
    for k, point in enumerate(points):
        point_file = os.path.join(folder, "%s.point%d" % (m.name, k))
        with open(point_file, "w") as f:
            f.writelines("%r\n" % value for value in layout.to_file_order(point))
        got = read_eval(run([tools["nl_eval"], "--point", point_file, path]))
        where = "%s at point %d" % (m.name, k)
        check(close(got["obj"], obj[0](point)), "%s: objective %r, expected %r" % (where, got["obj"], obj[0](point)))
        expected = {layout.column[v]: g for v, g in obj[1](point).items()}
        check(set(got["grad"]) == set(expected), "%s: gradient entries %s, expected %s"
              % (where, sorted(got["grad"]), sorted(expected)))
        for j, g in expected.items():
            check(close(got["grad"].get(j, math.nan), g), "%s: d obj / d x%d = %r, expected %r"
                  % (where, j, got["grad"].get(j), g))
        for i, (value, gradient) in enumerate(cons):
            r = layout.row[i]
            check(close(got["con"][r], value(point)), "%s: row %d = %r, expected %r" % (where, r, got["con"][r], value(point)))
            want = {(r, layout.column[v]): g for v, g in gradient(point).items()}
            have = {key: g for key, g in got["jac"].items() if key[0] == r}
            check(set(have) == set(want), "%s: row %d Jacobian entries %s, expected %s" % (where, r, sorted(have), sorted(want)))
            for key, g in want.items():
                check(close(have.get(key, math.nan), g), "%s: jac %s = %r, expected %r" % (where, key, have.get(key), g))
    return layout


def check_layout_header(path, layout):
    """The header's nonlinear counts and the positions of the variables agree."""
    with open(path) as f:
        header = [next(f) for _ in range(10)]
    nlvc, nlvo, nlvb = (int(w) for w in header[4].split("#")[0].split())
    c = layout.counts
    check((nlvc, nlvo, nlvb) == (c["nlvc"], c["nlvo"], c["nlvb"]), "header nonlinear counts %s" % header[4])
    return nlvc, nlvo


def check_limits(tools, folder):
    """Bounds and row limits of every kind, one broken at a time by a known amount."""
    m = nw.Model("limits")
    kinds = [(1.0, 2.0), (3.0, 3.0), (None, 4.0), (-5.0, None), (None, None)]
    xs = [m.variable(lower=lo, upper=hi) for lo, hi in kinds]
    ws = [m.variable() for _ in kinds]
    for (lo, hi), w in zip(kinds, ws):
        m.constraint(linear={w: 1.0}, lower=lo, upper=hi)
    sq = m.variable()
    m.constraint(expr=sq ** 2, lower=1.0, upper=4.0)  # the only nonlinear row: written first
    path = os.path.join(folder, "limits.nl")
    layout = m.write(path)
    inside = [1.5, 3.0, 0.0, 0.0, 7.0]
    base = inside + inside + [1.5]

    def primal(point):
        answer = {"columns": [{"level": v} for v in layout.to_file_order(point)],
                  "rows": [{"marginal": 0.0} for _ in range(m.m)]}
        name = os.path.join(folder, "answer.json")
        with open(name, "w") as f:
            json.dump(answer, f)
        fields = run([tools["nl_certify"], path, name]).split("\t")
        return float(fields[fields.index("primal") + 1])

    check(primal(base) == 0.0, "limits: a point inside every limit is reported outside")
    moves = [(0, 0.75), (0, 2.5), (1, 3.25), (1, 2.875), (2, 4.5), (3, -5.25), (4, 1e6)]
    for offset in (0, 5):  # the bounds, then the rows
        for k, value in moves:
            point = list(base)
            point[offset + k] = value
            lo, hi = kinds[k]
            expected = max(0.0, (lo - value) if lo is not None else 0.0, (value - hi) if hi is not None else 0.0)
            got = primal(point)
            check(close(got, expected, 1e-14), "limits: %s %d at %r: violation %r, expected %r"
                  % ("bound" if offset == 0 else "row", k, value, got, expected))
    for value, expected in ((0.5, 0.75), (2.5, 2.25), (-2.0, 0.0)):
        point = list(base)
        point[10] = value
        got = primal(point)
        check(close(got, expected, 1e-14), "limits: nonlinear row at %r: violation %r, expected %r" % (value, got, expected))


def check_solve(tools, folder):
    """One variable of each kind in a maximization whose optimum is known: y nonlinear in both,
    w in the constraints only, x in the objective only, z linear. The optimum: y = 1.5 (its
    exp limit), w = sqrt(5 + y), x = 0.5 and z = 2.5 from x + z <= 3, value 2 + 0.5 sqrt(6.5)."""
    m = nw.Model("kinds")
    x = m.variable(start=0.0, name="x")
    y = m.variable(start=0.0, name="y")
    z = m.variable(lower=0.0, name="z")
    w = m.variable(start=1.0, name="w")
    m.constraint(linear={x: 1.0, z: 1.0}, upper=3.0, name="budget")
    m.constraint(expr=nw.exp(y), upper=math.exp(1.5), name="exp_cap")
    m.constraint(linear={y: -1.0}, expr=w ** 2, upper=5.0, name="w_cap")
    m.objective(expr=-(x - 1) ** 2 - (y - 2) ** 2, linear={z: 1.0, w: 0.5}, sense="max")
    path = os.path.join(folder, "kinds.nl")
    layout = m.write(path, names=True)
    nlvc, nlvo = check_layout_header(path, layout)
    check(layout.column[y.index] < min(nlvc, nlvo) and layout.column[w.index] < nlvc and nlvc <= layout.column[x.index] < nlvo
          and layout.column[z.index] >= max(nlvc, nlvo), "kinds: variables out of the format's order")
    answer = os.path.join(folder, "kinds.json")
    done = subprocess.run([tools["kavro"], "--quiet", "--solution", answer, path], capture_output=True, text=True,
                          cwd=folder)
    check(done.returncode == 0, "kinds: kavro ended with status %d:\n%s%s" % (done.returncode, done.stdout[-2000:], done.stderr))
    if done.returncode == 0:
        with open(answer) as f:
            result = json.load(f)
        known = 2.0 + 0.5 * math.sqrt(6.5)
        check(close(result["objective"], known, 1e-7), "kinds: objective %r, known %r" % (result["objective"], known))
        # The names of STUB.col and STUB.row follow the file's order of variables and rows.
        columns = [c.get("name") for c in result["columns"]]
        rows = [r.get("name") for r in result["rows"]]
        check(columns == ["y", "w", "x", "z"], "kinds: column names %s" % columns)
        check(rows == ["exp_cap", "w_cap", "budget"], "kinds: row names %s" % rows)


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: nl_writer_test.py NL_EVAL NL_CERTIFY KAVRO")
    tools = dict(zip(("nl_eval", "nl_certify", "kavro"), (os.path.abspath(p) for p in sys.argv[1:])))
    with tempfile.TemporaryDirectory() as folder:
        for case in (every_operator_model(), objective_only_model(), constraints_only_model()):
            layout = check_values(tools, folder, case)
            check_layout_header(os.path.join(folder, case[0].name + ".nl"), layout)
        check_limits(tools, folder)
        check_solve(tools, folder)
    finish()


if __name__ == "__main__":
    main()
