#!/usr/bin/python3
"""Chained Rosenbrock with linear equality and inequality rows that all hold at x = 1.

    chained_rosenbrock.py N [classic|near] [pairs] [--out DIR]

    minimize  sum_{i<N-1} 100 (x_{i+1} - x_i^2)^2 + (1 - x_i)^2

subject to sparse linear rows, each satisfied at x = 1: one equality row for every ten
variables (three neighbours with coefficients summing to their right-hand side), and one
inequality row for every five variables, coupling x_j and x_{j+3}; half of these are active at
x = 1 (with zero multipliers: the objective is stationary there, so the active set is
degenerate) and half are slack by 1.

f >= 0 everywhere and f(1) = 0, so x = 1 is a global minimum and f* = 0; it is the unique one
of the objective alone (each term vanishes only if x_i = 1 and then x_{i+1} = 1). The chained
objective is not convex, and with the rows it has other local minima (one near x_1 = -1 for
N = 10) and saddle points; a local method may end at a local minimum, but should not call a
saddle point optimal. The start is the classic one, (-1.2, 1, -1.2, 1, ...) ("classic"), or
1 + 0.1 (-1)^i ("near").

With "pairs", N counts N/2 chained variables x and N/2 companions z, each z_i adding
(z_i^2 - x_i)^2 to the objective: still f >= 0 with f = 0 at x = 1, z = 1 (or any signs of z).
The objective is even in every z_i, so at z = 0, where the companions start (no start given:
0, as a modelling system would leave them), their derivatives vanish whatever x is, and a
method that follows first derivatives alone keeps z = 0 and minimizes over x only. Where it
stops with x_i > 0, the curvature along z_i is -4 x_i: a saddle point of the model, reported
as a minimum unless second derivatives are examined.
"""

import sys

from family_common import Instance, main
import nl_writer as nw

EQUALITY = [(1.0, 2.0, -1.0), (0.5, 1.0, 1.0), (2.0, -1.0, 1.0)]
INEQUALITY = [(1.0, 1.0), (1.0, -2.0), (3.0, 1.0), (-1.0, 2.0)]


def build(n, start="classic", pairs=None):
    total = int(n)
    if pairs not in (None, "pairs") or start not in ("classic", "near"):
        raise ValueError("start classic or near, then pairs or nothing")
    n = total // 2 if pairs else total
    if n < 4:
        raise ValueError("at least 4 chained variables")
    name = "rosen%d%s%s" % (total, "" if start == "classic" else "_near", "_pairs" if pairs else "")
    m = nw.Model(name)
    if start == "classic":
        x0 = [-1.2 if i % 2 == 0 else 1.0 for i in range(n)]
    else:
        x0 = [1.0 + 0.1 * (-1) ** i for i in range(n)]
    x = [m.variable(start=x0[i]) for i in range(n)]
    for k in range(max(1, n // 10)):
        j = (10 * k + 3) % (n - 2)
        a = EQUALITY[k % len(EQUALITY)]
        m.constraint(linear={x[j]: a[0], x[j + 1]: a[1], x[j + 2]: a[2]}, lower=sum(a), upper=sum(a))
    for k in range(max(2, n // 5)):
        j = (5 * k + 1) % (n - 3)
        b = INEQUALITY[k % len(INEQUALITY)]
        rhs = b[0] + b[1]
        row = {x[j]: b[0], x[j + 3]: b[1]}
        if k % 4 == 0:
            m.constraint(linear=row, upper=rhs)            # active
        elif k % 4 == 1:
            m.constraint(linear=row, lower=rhs)            # active
        elif k % 4 == 2:
            m.constraint(linear=row, lower=rhs - 1.0)      # slack
        else:
            m.constraint(linear=row, lower=rhs - 1.0, upper=rhs + 1.0)  # slack range
    terms = []
    for i in range(n - 1):
        terms.append(100.0 * (x[i + 1] - x[i] ** 2) ** 2)
        terms.append((1.0 - x[i]) ** 2)
    if pairs:
        z = [m.variable(name="z%d" % i) for i in range(n)]
        terms += [(z[i] ** 2 - x[i]) ** 2 for i in range(n)]
    m.objective(expr=nw.sumlist(terms))
    return Instance(name, "chained_rosenbrock", m, [1.0] * m.n, [0.0] * m.m, 0.0, False,
                    "global minimum f* = 0 at x = 1%s; nonconvex" % (", z = 1; saddle at z = 0" if pairs else ""))


if __name__ == "__main__":
    main(build, sys.argv[1:], __doc__.split("\n\n")[1])
