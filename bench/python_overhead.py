#!/usr/bin/python3
"""What the Python package costs on top of the solver.

1. kavro.solve_nl against the kavro command on the .nl models with fewer than 1,000 variables
   (a fixed sample spread over INDEX.tsv: every STRIDE-th such model). Model by model the two
   alternate, each run REPEAT times; the least processor time of each is kept (the command's
   includes starting the process, the call's only the call). Output: a TSV line per model and
   the median ratio solve_nl / command over the models where both ended with the same exit, over
   all of them and over those the command takes at least 0.1 s on.
2. kavro.minimize with NumPy callbacks on Rosenbrock's function (n = 1,000) with a sparse
   tridiagonal set of nonlinear constraints against the same problem solved with C++ callbacks
   (bench/model_callbacks), alternately: the difference of the solves' processor time outside
   the callbacks, divided by the calls, is what the binding costs per call. The Python side
   replays the functions' recorded returns, so that no time of the user's functions needs
   subtracting.

Usage: bench/python_overhead.py [--build build/release] [--data ../shared/data/nl] [--stride 13]
                                [--repeat 3] [--limit 10] [--n 1000] [--part all|nl|callbacks]
                                [--out FILE.tsv]
(the callback measure needs bench/model_callbacks: cmake --build --preset release --target
model_callbacks _kavro)
Run it pinned to one core (taskset -c 0); on a loaded machine the times are indicative.
"""

import argparse
import csv
import itertools
import math
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# Models the command takes at least this long on (processor seconds) are where the call's cost
# can be compared with the command's: below it, starting the process decides the ratio.
LONG_ENOUGH = 0.1
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def sample(data, stride):
    with open(os.path.join(data, "INDEX.tsv")) as f:
        rows = [r for r in csv.DictReader(f, delimiter="\t") if int(r["n_var"]) < 1000]
    return rows[::stride]


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def command_run(kavro, path, limit):
    """The command's processor seconds, its start-up included."""
    start = children_cpu()
    done = subprocess.run([kavro, "--quiet", "--specs", limit, path], capture_output=True, text=True)
    seconds = children_cpu() - start
    exit_line = ([line for line in done.stdout.splitlines() if "EXIT --" in line] or [""])[-1]  # the last run's
    return seconds, exit_line.split("EXIT --")[-1].strip()


def library_run(kavro_py, path, limit_seconds):
    start = time.process_time()
    r = kavro_py.solve_nl(path, time_limit=limit_seconds)
    return time.process_time() - start, r


def solve_nl_overhead(args, kavro_py, out):
    kavro = os.path.join(args.build, "apps", "kavro")
    work = tempfile.mkdtemp()
    limit = os.path.join(work, "limit.spc")
    with open(limit, "w") as f:
        f.write(f"BEGIN\n  Time limit {args.limit}\nEND\n")
    ratios, long_ratios = [], []
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
            if min(cmd) >= LONG_ENOUGH:
                long_ratios.append(ratio)
        print(f"{row['name']}\t{row['n_var']}\t{row['n_con']}\t{min(cmd):.4f}\t{min(lib):.4f}\t{ratio:.3f}\t"
              f"{exits}\t{status}", file=out, flush=True)
        os.remove(path)
    shutil.rmtree(work)
    for label, chosen in (("all models", ratios), (f"models of at least {LONG_ENOUGH} s in the command", long_ratios)):
        if len(chosen) >= 2:
            q = statistics.quantiles(chosen, n=4)
            print(f"# solve_nl / command, {label}: median ratio {statistics.median(chosen):.3f} over {len(chosen)} "
                  f"models with the same outcome (quartiles {q[0]:.3f} .. {q[2]:.3f})", file=out, flush=True)


def seconds_per_call(fun, *a, calls=100000):
    """Processor seconds one call of fun(*a) takes: the least over five batches."""
    best = math.inf
    for _ in range(5):
        start = time.process_time()
        for _ in range(calls):
            fun(*a)
        best = min(best, (time.process_time() - start) / calls)
    return best


def band_problem(n):
    """Rosenbrock with c_i(x) = x_i^2 + x_{i+1}^2 <= 4: a sparse band of n-1 rows, inactive at the
    optimum's neighbourhood but linearized every major iteration. bench/model_callbacks.cpp solves
    the same functions with C++ callbacks."""
    import numpy as np
    from scipy import sparse
    rows = np.repeat(np.arange(n - 1), 2)
    cols = np.column_stack([np.arange(n - 1), np.arange(1, n)]).ravel()

    def con(x):
        return x[:-1] ** 2 + x[1:] ** 2

    def con_jac(x):
        vals = np.column_stack([2 * x[:-1], 2 * x[1:]]).ravel()
        return sparse.csr_matrix((vals, (rows, cols)), shape=(n - 1, n))
    return con, con_jac


def recorded_solver(kavro_py, n):
    """The problem solved once with the user's functions, recording what each call returns; then
    a function that solves it again with functions handing back the recorded returns in turn (the
    solver takes the same path, so the calls come at the same points in the same order). The
    replay's functions cost a list step a call; the binding does all it does on real returns.
    Returns (the first solve's processor seconds, the replay)."""
    import numpy as np
    from scipy.optimize import NonlinearConstraint, rosen, rosen_der
    con, con_jac = band_problem(n)
    returns = {f: [] for f in (rosen, rosen_der, con, con_jac)}

    def recording(fun):
        def wrapper(x):
            out = fun(x)  # a new object each call: kept as it is
            returns[fun].append(out)
            return out
        return wrapper

    def replaying(fun):
        step = iter(returns[fun]).__next__
        return lambda x: step()

    def solve(wrap):
        start = time.process_time()
        r = kavro_py.minimize(wrap(rosen), np.full(n, 0.5), jac=wrap(rosen_der),
                              constraints=[NonlinearConstraint(wrap(con), -np.inf, 4.0, jac=wrap(con_jac))])
        return r, time.process_time() - start

    real, real_seconds = solve(recording)
    replay_calls = sum(len(v) for v in returns.values())
    step = (lambda s: lambda x: s())(itertools.repeat(None).__next__)  # a step as long as a list's, endless

    def replay():
        r, seconds = solve(replaying)
        # The solver's calls: one crossing into Python per objective call (rosen, and rosen_der
        # with it when the gradient is wanted) and per constraint call (con, and con_jac with
        # it); minimize also calls con and con_jac once for the pattern, rosen_der once for res.jac.
        crossings = r.nfev + r.basis["constraint_calls"]
        same = r.fun == real.fun and crossings == real.nfev + real.basis["constraint_calls"]
        return {"status": r.message if same else "replay left the path", "objective": r.fun, "crossings": crossings,
                "solve": seconds, "callbacks": replay_calls * seconds_per_call(step, None)}
    return real_seconds, replay


def native_solve(build, n):
    done = subprocess.run([os.path.join(build, "bench", "model_callbacks"), str(n)], capture_output=True, text=True)
    fields = dict(line.split("\t", 1) for line in done.stdout.splitlines())
    return {"status": fields["status"], "objective": float(fields["objective"]),
            "crossings": int(fields["objective_calls"]) + int(fields["constraint_calls"]),
            "solve": float(fields["solve_cpu_s"]), "callbacks": float(fields["callbacks_cpu_s"])}


def callback_overhead(args, kavro_py, out, n=1000):
    """The binding's cost per call: the same problem solved through kavro.minimize replaying
    recorded returns of the NumPy functions (recorded_solver) and with C++ callbacks
    (bench/model_callbacks), alternately, in processor seconds. Per run:
        ((python replay solve - its replay steps) - (C++ solve - its callbacks)) / calls,
    valid when both runs make the same calls at the same points (the C++ functions round as
    NumPy's do, so the objectives printed agree to the last digit). No clock is read inside a
    callback: a clock read is a system call that costs as much as what is measured."""
    real_seconds, replay = recorded_solver(kavro_py, n)
    print(f"# callback cost, Rosenbrock n={n} with {n - 1} sparse nonlinear rows; processor seconds; "
          f"the solve with the NumPy functions themselves took {real_seconds:.3f} s", file=out)
    print("run\tfront\tstatus\tobjective\tcalls\tsolve_s\tcallbacks_s\tper_call_us", file=out)
    costs = []
    for k in range(args.repeat):
        py = replay()
        cc = native_solve(args.build, n)
        solver_py = py["solve"] - py["callbacks"]
        solver_cc = cc["solve"] - cc["callbacks"]
        for front, r, own in (("python", py, solver_py), ("c++", cc, solver_cc)):
            print(f"{k}\t{front}\t{r['status']}\t{r['objective']:.17g}\t{r['crossings']}\t{r['solve']:.3f}\t"
                  f"{r['callbacks']:.3f}\t{1e6 * own / r['crossings']:.1f}",
                  file=out, flush=True)
        if py["crossings"] == cc["crossings"] and py["objective"] == cc["objective"]:
            costs.append((solver_py - solver_cc) / py["crossings"])
        else:
            print(f"# run {k}: the two took different paths ({py['crossings']} calls against {cc['crossings']}); "
                  "no difference taken", file=out, flush=True)
    if costs:
        print(f"# binding cost per call (python - c++): median {1e6 * statistics.median(costs):.1f} us over "
              f"{len(costs)} runs (each: {', '.join(f'{1e6 * c:.1f}' for c in costs)})", file=out, flush=True)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    p.add_argument("--data", default=os.path.join(ROOT, "..", "shared", "data", "nl"))
    p.add_argument("--stride", type=int, default=13)
    p.add_argument("--repeat", type=int, default=3)
    p.add_argument("--limit", type=float, default=10.0)
    p.add_argument("--n", type=int, default=1000, help="variables of the callback measure's problem")
    p.add_argument("--out")
    p.add_argument("--part", choices=["all", "nl", "callbacks"], default="all")
    args = p.parse_args()
    sys.path.insert(0, os.path.join(args.build, "python"))
    import kavro as kavro_py
    out = open(args.out, "w") if args.out else sys.stdout
    if args.part in ("all", "nl"):
        solve_nl_overhead(args, kavro_py, out)
    if args.part in ("all", "callbacks"):
        callback_overhead(args, kavro_py, out, args.n)


if __name__ == "__main__":
    main()
