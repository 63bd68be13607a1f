#!/usr/bin/python3
"""Sparse nonlinear least squares with equality rows, nonlinear and linear.

    least_squares.py N [--out DIR]

    minimize  1/2 sum_{k<N-2} (rho_k(x) - a_k)^2 + 1/2 sum_j (x_j - t_j)^2,
              rho_k(x) = x_k + x_k^3 / 5 - x_{k+1} + 3/10 sin(x_{k+2})
    subject to  N/10 nonlinear rows  x_p^3 / 3 + x_q + exp(x_r / 5) = beta_i   (p, q, r spread out),
                N/10 linear rows     sum of 5 neighbours = gamma_i.

Every nonlinear function is monotone in the variable it is nonlinear in but for the small sine
terms, so that the model has no mirror images of its solution (x_k^2 or x_p x_q would let
signs flip), and solvers started at 0 can be expected to reach the constructed point.

The generator chooses x*, the residuals e_k of the nonlinear terms at x* (a_k = rho_k(x*) - e_k,
of size up to 0.1: not a zero-residual problem) and multipliers y* of the rows, sets beta and
gamma so that the rows hold at x*, and the targets t = x* + sum_k e_k grad rho_k(x*) - J(x*)'y*,
so that grad f(x*) = J(x*)'y*: x* is a KKT point.

It is a strict local minimum: the Hessian of the Lagrangian at x* is
    sum_k grad rho_k grad rho_k' + I + sum_k e_k hess rho_k - sum_i y_i hess E_i,
the first term positive semidefinite and the rest diagonal; the generator checks that the
diagonal is positive and stops if not. It is not shown to be the global minimum: the model is not convex. The known objective is
f(x*); an answer below it would be another, better, local minimum.
"""

import math
import random
import sys

from family_common import Instance, main, fsum
import nl_writer as nw


def build(n):
    n = int(n)
    if n < 50:
        raise ValueError("N >= 50")
    rng = random.Random(4242 + n)
    name = "lsq%d" % n
    xs = [math.cos(0.01 * j) + 0.3 * (rng.random() - 0.5) for j in range(n)]
    nres = n - 2
    e = [0.2 * rng.random() - 0.1 for _ in range(nres)]

    def rho(k, x):
        return x[k] + 0.2 * x[k] ** 3 - x[k + 1] + 0.3 * math.sin(x[k + 2])

    nrows = n // 10
    triples = []
    for i in range(nrows):
        p = (7 * i) % n
        q = (7 * i + n // 2 + 1) % n
        r = (7 * i + n // 3 + 2) % n
        if len({p, q, r}) < 3:
            r = (r + 1) % n
        triples.append((p, q, r))
    blocks = [list(range(10 * i + 2, 10 * i + 7)) for i in range(nrows)]
    y_nl = [0.4 * rng.random() - 0.2 for _ in range(nrows)]
    y_lin = [2.0 * rng.random() - 1.0 for _ in range(nrows)]

    # Targets from the optimality conditions.
    grad = [0.0] * n   # sum_k e_k grad rho_k(x*) - J'y
    for k in range(nres):
        grad[k] += e[k] * (1.0 + 0.6 * xs[k] ** 2)
        grad[k + 1] -= e[k]
        grad[k + 2] += e[k] * 0.3 * math.cos(xs[k + 2])
    for i, (p, q, r) in enumerate(triples):
        grad[p] -= y_nl[i] * xs[p] ** 2
        grad[q] -= y_nl[i]
        grad[r] -= y_nl[i] * 0.2 * math.exp(xs[r] / 5.0)
    for i, block in enumerate(blocks):
        for j in block:
            grad[j] -= y_lin[i]
    t = [xs[j] + grad[j] for j in range(n)]
    second_order_check(n, nres, e, xs, triples, y_nl)

    m = nw.Model(name)
    x = [m.variable(start=0.0) for _ in range(n)]
    y = []
    for i, (p, q, r) in enumerate(triples):
        beta = xs[p] ** 3 / 3.0 + xs[q] + math.exp(xs[r] / 5.0)
        m.constraint(linear={x[q]: 1.0}, expr=x[p] ** 3 / 3.0 + nw.exp(x[r] / 5.0), lower=beta, upper=beta)
        y.append(y_nl[i])
    for i, block in enumerate(blocks):
        total = fsum(xs[j] for j in block)
        m.constraint(linear={x[j]: 1.0 for j in block}, lower=total, upper=total)
        y.append(y_lin[i])
    a = [rho(k, xs) - e[k] for k in range(nres)]
    terms = [(x[k] + 0.2 * x[k] ** 3 - x[k + 1] + 0.3 * nw.sin(x[k + 2]) - a[k]) ** 2 for k in range(nres)]
    terms += [(x[j] - t[j]) ** 2 for j in range(n)]
    m.objective(expr=0.5 * nw.sumlist(terms))
    value = 0.5 * fsum([ek * ek for ek in e] + [(xs[j] - t[j]) ** 2 for j in range(n)])
    return Instance(name, "least_squares", m, xs, y, value, False,
                    "strict local minimum (second-order conditions checked); nonconvex")


def second_order_check(n, nres, e, xs, triples, y_nl):
    """I + sum_k e_k hess rho_k - sum_i y_i hess E_i must be positive definite; all of it is
    diagonal: rho_k's Hessian has 6 x_k / 5 at (k, k) and -3 sin(x_{k+2}) / 10 at (k+2, k+2),
    E_i's 2 x_p at (p, p) and exp(x_r / 5) / 25 at (r, r)."""
    diag = [1.0] * n
    for k in range(nres):
        diag[k] += 1.2 * xs[k] * e[k]
        diag[k + 2] += -0.3 * math.sin(xs[k + 2]) * e[k]
    for i, (p, q, r) in enumerate(triples):
        diag[p] -= y_nl[i] * 2.0 * xs[p]
        diag[r] -= y_nl[i] * math.exp(xs[r] / 5.0) / 25.0
    worst = min(diag)
    if worst <= 0.0:
        raise ValueError("the constructed point fails the second-order check (margin %g)" % worst)


if __name__ == "__main__":
    main(build, sys.argv[1:], __doc__.split("\n\n")[1])
