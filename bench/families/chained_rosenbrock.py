#!/usr/bin/python3
"""Chained Rosenbrock with linear equality and inequality rows that all hold at x = 1.

    chained_rosenbrock.py N [classic|near] [--out DIR]

    minimize  sum_{i<N-1} 100 (x_{i+1} - x_i^2)^2 + (1 - x_i)^2

subject to sparse linear rows, each satisfied at x = 1: one equality row for every ten
variables (three neighbours with coefficients summing to their right-hand side), and one
inequality row for every five variables, coupling x_j and x_{j+3}; half of these are active at
x = 1 (with zero multipliers: the objective is stationary there, so the active set is
degenerate) and half are slack by 1.

f >= 0 everywhere and f(1) = 0, so x = 1 is a global minimum and f* = 0; it is the unique one
of the objective alone (each term vanishes only if x_i = 1 and then x_{i+1} = 1). The chained
objective is not convex and has other stationary points (for small N a local minimum near
x_1 = -1, and saddle points, which are not minima); the family asks whether a run can end
"optimal" at one of them. The start is the classic one, (-1.2, 1, -1.2, 1, ...) ("classic"), or 1 + 0.1 (-1)^i
("near").
"""

import sys

from family_common import Instance, main
import nl_writer as nw

EQUALITY = [(1.0, 2.0, -1.0), (0.5, 1.0, 1.0), (2.0, -1.0, 1.0)]
INEQUALITY = [(1.0, 1.0), (1.0, -2.0), (3.0, 1.0), (-1.0, 2.0)]


def build(n, start="classic"):
    n = int(n)
    if n < 4 or start not in ("classic", "near"):
        raise ValueError("N >= 4, start classic or near")
    name = "rosen%d%s" % (n, "" if start == "classic" else "_near")
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
        total = b[0] + b[1]
        row = {x[j]: b[0], x[j + 3]: b[1]}
        if k % 4 == 0:
            m.constraint(linear=row, upper=total)            # active
        elif k % 4 == 1:
            m.constraint(linear=row, lower=total)            # active
        elif k % 4 == 2:
            m.constraint(linear=row, lower=total - 1.0)      # slack
        else:
            m.constraint(linear=row, lower=total - 1.0, upper=total + 1.0)  # slack range
    terms = []
    for i in range(n - 1):
        terms.append(100.0 * (x[i + 1] - x[i] ** 2) ** 2)
        terms.append((1.0 - x[i]) ** 2)
    m.objective(expr=nw.sumlist(terms))
    return Instance(name, "chained_rosenbrock", m, [1.0] * n, [0.0] * m.m, 0.0, False,
                    "global minimum f* = 0 at x = 1; nonconvex, saddle points")


if __name__ == "__main__":
    main(build, sys.argv[1:], __doc__.split("\n\n")[1])
