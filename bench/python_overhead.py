#!/usr/bin/python3
"""What the Python package costs on top of the solver.

1. kavro.solve_nl against the kavro command on the .nl models with fewer than 1,000 variables
   (a fixed sample spread over INDEX.tsv: every STRIDE-th such model). Model by model the two
   alternate, each run REPEAT times; the best wall time of each is kept (the command's includes
   starting the process, the call's only the call). Output: a TSV line per model and the median
   ratio solve_nl / command over the models where both ended with the same exit.
2. kavro.minimize with NumPy callbacks on Rosenbrock's function (n = 1,000) with a sparse
   tridiagonal set of nonlinear constraints: the solve's time minus the time spent inside the
   user's functions, divided by the calls of those functions.

Usage: bench/python_overhead.py [--build build/release] [--data ../shared/data/nl] [--stride 13]
                                [--repeat 3] [--limit 10] [--out FILE.tsv]
Run it pinned to one core (taskset -c 0); on a loaded machine the times are indicative.
"""

import argparse
import csv
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def sample(data, stride):
    with open(os.path.join(data, "INDEX.tsv")) as f:
        rows = [r for r in csv.DictReader(f, delimiter="\t") if int(r["n_var"]) < 1000]
    return rows[::stride]


def command_run(kavro, path, limit):
    start = time.perf_counter()
    done = subprocess.run([kavro, "--quiet", "--specs", limit, path], capture_output=True, text=True)
    seconds = time.perf_counter() - start
    exit_line = ([line for line in done.stdout.splitlines() if "EXIT --" in line] or [""])[-1]  # the last run's
    return seconds, exit_line.split("EXIT --")[-1].strip()


def library_run(kavro_py, path, limit_seconds):
    start = time.perf_counter()
    r = kavro_py.solve_nl(path, time_limit=limit_seconds)
    return time.perf_counter() - start, r


def solve_nl_overhead(args, kavro_py, out):
    kavro = os.path.join(args.build, "apps", "kavro")
    work = tempfile.mkdtemp()
    limit = os.path.join(work, "limit.spc")
    with open(limit, "w") as f:
        f.write(f"BEGIN\n  Time limit {args.limit}\nEND\n")
    ratios = []
    print("model\tn\tm\tcommand_s\tsolve_nl_s\tratio\tcommand_exit\tsolve_nl_status", file=out)
    for row in sample(args.data, args.stride):
        # A copy in the work folder: the command writes nothing beside the shared model.
        path = os.path.join(work, row["file"])
        shutil.copy(os.path.join(args.data, row["file"]), path)
        cmd, lib, exits, status = [], [], "", ""
        for _ in range(args.repeat):
            t, exits = command_run(kavro, path, limit)
            cmd.append(t)
            t, r = library_run(kavro_py, path, args.limit)
            lib.append(t)
            status = r.status
        ratio = min(lib) / min(cmd)
        same = (status == 0) == (exits == "optimal solution found")
        if same:
            ratios.append(ratio)
        print(f"{row['name']}\t{row['n_var']}\t{row['n_con']}\t{min(cmd):.4f}\t{min(lib):.4f}\t{ratio:.3f}\t"
              f"{exits}\t{status}", file=out, flush=True)
        os.remove(path)
    shutil.rmtree(work)
    print(f"# solve_nl / command: median ratio {statistics.median(ratios):.3f} over {len(ratios)} models "
          f"(quartiles {statistics.quantiles(ratios, n=4)[0]:.3f} .. {statistics.quantiles(ratios, n=4)[2]:.3f})",
          file=out, flush=True)


def callback_overhead(kavro_py, out, n=1000):
    import numpy as np
    from scipy import sparse
    from scipy.optimize import NonlinearConstraint, rosen, rosen_der

    spent = [0.0]
    calls = [0]

    def timed(fun):
        def wrapper(*a):
            start = time.perf_counter()
            try:
                return fun(*a)
            finally:
                spent[0] += time.perf_counter() - start
                calls[0] += 1
        return wrapper

    # c_i(x) = x_i^2 + x_{i+1}^2 <= 4: a sparse band of n-1 rows, inactive at the optimum's
    # neighbourhood but linearized every major iteration.
    rows = np.repeat(np.arange(n - 1), 2)
    cols = np.column_stack([np.arange(n - 1), np.arange(1, n)]).ravel()

    def con(x):
        return x[:-1] ** 2 + x[1:] ** 2

    def con_jac(x):
        vals = np.column_stack([2 * x[:-1], 2 * x[1:]]).ravel()
        return sparse.csr_matrix((vals, (rows, cols)), shape=(n - 1, n))

    x0 = np.full(n, 0.5)
    start = time.perf_counter()
    r = kavro_py.minimize(timed(rosen), x0, jac=timed(rosen_der),
                          constraints=[NonlinearConstraint(timed(con), -np.inf, 4.0, jac=timed(con_jac))])
    total = time.perf_counter() - start
    print(f"# minimize Rosenbrock n={n} with {n - 1} sparse nonlinear rows: {r.message}; "
          f"{calls[0]} callback calls, solve {total:.3f} s, inside the callbacks {spent[0]:.3f} s", file=out)
    # The solver's own work between the calls is charged to the binding too: an upper bound.
    print(f"# (solve - callbacks) / calls = {1e6 * (total - spent[0]) / calls[0]:.1f} microseconds "
          f"(an upper bound on the binding's cost: it includes the solver's own work)", file=out, flush=True)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    p.add_argument("--data", default=os.path.join(ROOT, "..", "shared", "data", "nl"))
    p.add_argument("--stride", type=int, default=13)
    p.add_argument("--repeat", type=int, default=3)
    p.add_argument("--limit", type=float, default=10.0)
    p.add_argument("--out")
    p.add_argument("--part", choices=["all", "nl", "callbacks"], default="all")
    args = p.parse_args()
    sys.path.insert(0, os.path.join(args.build, "python"))
    import kavro as kavro_py
    out = open(args.out, "w") if args.out else sys.stdout
    if args.part in ("all", "nl"):
        solve_nl_overhead(args, kavro_py, out)
    if args.part in ("all", "callbacks"):
        callback_overhead(kavro_py, out)


if __name__ == "__main__":
    main()
