#!/usr/bin/python3
"""KAVRO through kavro.minimize against SciPy's SLSQP and trust-constr on the 30 problems of
bench/scipy_problems.py, the same functions for every solver.

Each solve runs in a process of its own, stopped after --limit seconds (wall), or with --cpu after
--limit seconds of processor time (a wall limit of four times that stays as a backstop); --cpu
also times the solver call in processor seconds, so that a loaded core does not decide who
reaches the limit. A solve counts as solved when its objective is within 1e-6 (relative to
max(1, |best|)) of the best objective any solver reached with constraints and bounds within
1e-6, and its own point is within 1e-6 too; the time is the solver call's (wall or, with --cpu,
processor) time. SLSQP is a dense method: sparse Jacobians are handed to it as dense arrays, as
its users must.

Output (--out FILE.tsv): problem, n, solver, status, solved, objective, violation, seconds,
message; then '#' lines with the counts and the geometric mean time over the problems all three
solved. Usage: bench/scipy_compare.py [--build build/release] [--limit 60] [--cpu] [--out FILE] [NAME...]
Run it pinned to one core (taskset -c 0); on a loaded machine the times are indicative.
"""

import argparse
import json
import math
import os
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SOLVERS = ("kavro", "SLSQP", "trust-constr")


def dense_for_slsqp(constraints):
    from scipy import sparse
    from scipy.optimize import LinearConstraint, NonlinearConstraint
    out = []
    for c in constraints:
        if isinstance(c, LinearConstraint) and sparse.issparse(c.A):
            c = LinearConstraint(c.A.toarray(), c.lb, c.ub)
        elif isinstance(c, NonlinearConstraint) and callable(c.jac):
            jac = c.jac
            c = NonlinearConstraint(c.fun, c.lb, c.ub,
                                    jac=lambda x, jac=jac: (lambda j: j.toarray() if sparse.issparse(j) else j)(jac(x)))
        out.append(c)
    return out


def limit_cpu(seconds):
    """Stops this process (SIGXCPU) once the solve has used `seconds` of processor time."""
    import resource
    used = time.process_time()
    _, hard = resource.getrlimit(resource.RLIMIT_CPU)
    resource.setrlimit(resource.RLIMIT_CPU, (math.ceil(used + seconds), hard))


def solve_one(name, solver, build, cpu_limit):
    """Runs one solve in this process and prints its result as JSON."""
    import numpy as np
    sys.path.insert(0, HERE)
    from scipy_problems import problem, violation
    p = problem(name)
    sys.path.insert(0, os.path.join(build, "python"))
    import kavro
    from scipy.optimize import minimize
    clock = time.perf_counter
    if cpu_limit:
        limit_cpu(cpu_limit)
        clock = time.process_time
    start = clock()
    if solver == "kavro":
        r = kavro.minimize(p["fun"], p["x0"], jac=p["jac"], bounds=p["bounds"], constraints=p["constraints"])
    else:
        constraints = dense_for_slsqp(p["constraints"]) if solver == "SLSQP" else p["constraints"]
        options = {"maxiter": 3000} if solver == "SLSQP" else {"maxiter": 20000}
        r = minimize(p["fun"], p["x0"], jac=p["jac"], bounds=p["bounds"], constraints=constraints, method=solver,
                     options=options)
    seconds = clock() - start
    x = np.asarray(r.x, float)
    print(json.dumps({"status": int(r.status), "success": bool(r.success), "objective": float(p["fun"](x)),
                      "violation": violation(p, x), "seconds": seconds, "message": str(r.message)[:80]}))


def run(name, solver, args):
    command = [sys.executable, os.path.abspath(__file__), "--one", name, solver, "--build", args.build]
    if args.cpu:
        command += ["--cpu-limit", str(args.limit)]
    stopped = {"status": "timeout", "objective": math.nan, "violation": math.nan, "seconds": args.limit,
               "message": f"stopped after {args.limit:g} {'CPU ' if args.cpu else ''}s"}
    try:
        done = subprocess.run(command, capture_output=True, text=True,
                              timeout=4 * args.limit if args.cpu else args.limit)
    except subprocess.TimeoutExpired:
        return stopped if not args.cpu else dict(stopped, message=f"stopped after {4 * args.limit:g} s (wall)")
    if done.returncode == -signal.SIGXCPU:
        return stopped
    lines = done.stdout.strip().splitlines()
    if done.returncode != 0 or not lines:
        return {"status": "error", "objective": math.nan, "violation": math.nan, "seconds": math.nan,
                "message": (done.stderr.strip().splitlines() or ["no output"])[-1][:80]}
    return json.loads(lines[-1])


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("names", nargs="*")
    p.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    p.add_argument("--limit", type=float, default=60.0)
    p.add_argument("--cpu", action="store_true", help="limit and time in processor seconds")
    p.add_argument("--out")
    p.add_argument("--one", nargs=2, metavar=("NAME", "SOLVER"))
    p.add_argument("--cpu-limit", type=float, default=0.0, help=argparse.SUPPRESS)
    args = p.parse_args()
    if args.one:
        return solve_one(args.one[0], args.one[1], args.build, args.cpu_limit)
    sys.path.insert(0, HERE)
    from scipy_problems import PROBLEMS, problem
    out = open(args.out, "w") if args.out else sys.stdout
    print("problem\tn\tsolver\tstatus\tsolved\tobjective\tviolation\tseconds\tmessage", file=out, flush=True)
    solved = {s: 0 for s in SOLVERS}
    times = {s: [] for s in SOLVERS}
    for name in args.names or list(PROBLEMS):
        n = problem(name)["x0"].size
        results = {s: run(name, s, args) for s in SOLVERS}
        feasible = [r["objective"] for r in results.values() if r["violation"] <= 1e-6]
        best = min(feasible) if feasible else math.nan
        ok_all = True
        for s, r in results.items():
            ok = (r["violation"] <= 1e-6 and abs(r["objective"] - best) <= 1e-6 * max(1.0, abs(best)))
            solved[s] += ok
            ok_all = ok_all and ok
            print(f"{name}\t{n}\t{s}\t{r['status']}\t{int(ok)}\t{r['objective']:.10g}\t{r['violation']:.2e}\t"
                  f"{r['seconds']:.3f}\t{r['message']}", file=out, flush=True)
        if ok_all:
            for s, r in results.items():
                times[s].append(r["seconds"])
    total = len(args.names or PROBLEMS)
    for s in SOLVERS:
        gm = math.exp(sum(map(math.log, times[s])) / len(times[s])) if times[s] else math.nan
        print(f"# {s}: solved {solved[s]} of {total}; geometric mean time {gm:.3f} s over the {len(times[s])} "
              f"problems all three solved", file=out, flush=True)


if __name__ == "__main__":
    main()
