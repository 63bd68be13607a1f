"""Multistart: one nonconvex problem solved from many starting points at once.

    PYTHONPATH=build/release/python /usr/bin/python3 examples/multistart.py [SCHEDULER_ADDRESS]

With a Dask scheduler's address (tcp://host:8786) the solves run on that cluster; without one on
local processes. Minimizes a Rastrigin-type function over a box with a linear constraint: each
start ends in a local minimum, the best of them is reported.
"""

import sys

import numpy as np
from scipy.optimize import LinearConstraint

import kavro


def rastrigin(x):
    return 10 * x.size + float(np.sum(x * x - 10 * np.cos(2 * np.pi * x)))


def rastrigin_grad(x):
    return 2 * x + 20 * np.pi * np.sin(2 * np.pi * x)


def main():
    n, starts = 6, 20
    rng = np.random.default_rng(7)
    problems = [{"fun": rastrigin, "jac": rastrigin_grad, "x0": rng.uniform(-5, 5, n),
                 "bounds": [(-5.12, 5.12)] * n, "constraints": LinearConstraint(np.ones((1, n)), 0.5, np.inf)}
                for _ in range(starts)]
    client = None
    if len(sys.argv) > 1:
        from distributed import Client
        client = Client(sys.argv[1])
    results = kavro.solve_many(problems, client=client)
    for k, r in enumerate(results):
        print(f"start {k:2d}: status {r.status} {r.fun if r.fun is not None else float('nan'):10.5f}")
    best = min((r for r in results if r.success), key=lambda r: r.fun)
    print(f"best of {starts} starts: f = {best.fun:.6f} at x = {np.round(best.x, 4)}")


if __name__ == "__main__":
    main()
