#!/usr/bin/python3
"""A large convex objective coupling neighbours, with a few linear equality rows and bounds.

    convex_coupled.py N [ROWS] [ACTIVE] [DIAGONAL] [--out DIR]

    minimize  sum_j (d_j / 2 x_j^2 + s log(1 + exp(x_j)))
            + sum_j w_j sqrt(1 + (x_{j+1} - x_j)^2) + sum_j v_j (x_{j+2} - x_j)^2  +  c'x
    subject to  ROWS equality rows, row k summing a_kj x_j over j = k (mod ROWS),
                l <= x <= u.

Every term is convex (a convex function of an affine one) and d_j > 0 makes the objective
strictly convex, so the model has exactly one minimum, and a point meeting the optimality
conditions is it. The generator chooses that point x*, multipliers y* of the rows in [-1, 1],
and ACTIVE bounds (default N / 250) that hold at x* with multipliers of size 0.5 to 2 (strict
complementarity), the others loose; it then sets b = A x* and the linear objective
c = A'y* + z* - grad g(x*), g the nonlinear part, so that the conditions hold at x*.

With the defaults for N = 20,000 (20 rows, 80 active bounds) about 19,900 variables are
superbasic at the solution, and the chains make the reduced Hessian far from diagonal
(d_j from 0.05 to 1, and s = 1, against coupling weights up to 4): the case where a
quasi-Newton model of thousands of superbasics needs many iterations. DIAGONAL (default 1)
multiplies d and s, the separable curvature: a small value leaves the chains to dominate, and
the reduced Hessian's condition grows like 1 / DIAGONAL.
"""

import math
import random
import sys

from family_common import Instance, main, fsum
import nl_writer as nw


def softplus(t):
    return math.log1p(math.exp(t)) if t < 30 else t + math.log1p(math.exp(-t))


def logistic(t):
    return 1.0 / (1.0 + math.exp(-t))


def build(n, rows=None, active=None, diagonal=1):
    n, diagonal = int(n), float(diagonal)
    rows = int(rows) if rows is not None else max(1, n // 1000)
    active = int(active) if active is not None else n // 250
    if n < 10 or not (1 <= rows <= n // 3) or not (0 <= active <= n // 2) or not diagonal > 0:
        raise ValueError("N >= 10, 1 <= ROWS <= N/3, ACTIVE <= N/2, DIAGONAL > 0")
    rng = random.Random(77 + n)
    name = "coupled%d" % n + ("" if diagonal == 1 else "_d%g" % diagonal)
    xs = [0.8 * math.sin(0.003 * j) + 0.4 * (rng.random() - 0.5) for j in range(n)]
    d = [diagonal * (0.05 + 0.95 * rng.random()) for _ in range(n)]
    w = [1.0 + 3.0 * rng.random() for _ in range(n - 1)]
    vv = [0.5 * rng.random() for _ in range(n - 2)]
    a = [0.5 + rng.random() for _ in range(n)]  # the coefficient of x_j in row j mod ROWS
    y = [2.0 * rng.random() - 1.0 for _ in range(rows)]
    at_bound = sorted(rng.sample(range(n), active))
    z = [0.0] * n
    lower = [xs[j] - 1.0 - rng.random() for j in range(n)]
    upper = [xs[j] + 1.0 + rng.random() for j in range(n)]
    for k, j in enumerate(at_bound):
        if k % 2 == 0:
            lower[j], z[j] = xs[j], 0.5 + 1.5 * rng.random()
        else:
            upper[j], z[j] = xs[j], -(0.5 + 1.5 * rng.random())

    # The gradient of the nonlinear part at x*.
    g = [d[j] * xs[j] + diagonal * logistic(xs[j]) for j in range(n)]
    for j in range(n - 1):
        t = xs[j + 1] - xs[j]
        q = w[j] * t / math.sqrt(1.0 + t * t)
        g[j + 1] += q
        g[j] -= q
    for j in range(n - 2):
        t = 2.0 * vv[j] * (xs[j + 2] - xs[j])
        g[j + 2] += t
        g[j] -= t
    c = [a[j] * y[j % rows] + z[j] - g[j] for j in range(n)]

    m = nw.Model(name)
    x = [m.variable(lower=lower[j], upper=upper[j], start=min(max(0.0, lower[j]), upper[j])) for j in range(n)]
    for k in range(rows):
        members = range(k, n, rows)
        m.constraint(linear={x[j]: a[j] for j in members}, lower=fsum(a[j] * xs[j] for j in members),
                     upper=fsum(a[j] * xs[j] for j in members))
    terms = []
    for j in range(n):
        terms.append(0.5 * d[j] * x[j] ** 2)
        terms.append(diagonal * nw.log(1.0 + nw.exp(x[j])))
    for j in range(n - 1):
        terms.append(w[j] * nw.sqrt(1.0 + (x[j + 1] - x[j]) ** 2))
    for j in range(n - 2):
        terms.append(vv[j] * (x[j + 2] - x[j]) ** 2)
    m.objective(linear={x[j]: c[j] for j in range(n)}, expr=nw.sumlist(terms))

    value = [0.5 * d[j] * xs[j] ** 2 + diagonal * softplus(xs[j]) + c[j] * xs[j] for j in range(n)]
    value += [w[j] * math.sqrt(1.0 + (xs[j + 1] - xs[j]) ** 2) for j in range(n - 1)]
    value += [vv[j] * (xs[j + 2] - xs[j]) ** 2 for j in range(n - 2)]
    # Rows are equalities: b = A x* exactly as written; the multipliers are those of the rows.
    note = "%d superbasics at the solution" % (n - rows - active)
    return Instance(name, "convex_coupled", m, xs, y, fsum(value), True, note)


if __name__ == "__main__":
    main(build, sys.argv[1:], __doc__.split("\n\n")[1])
