#!/usr/bin/env python3
"""Evaluation speed of the .nl evaluator over the model set, against the model size.

For every model of INDEX.tsv (or the names given) nl_eval --time gives the tape size (operations
and Jacobian plus gradient nonzeros) and the median thread processor time of one objective and
gradient evaluation and of one constraints and Jacobian evaluation at the starting point, each at
a new point. The size of a model is its operations plus nonzeros; its time is the sum of the two.

Output: one TSV line per model
  name  operations  nonzeros  size  t_objgrad_us  t_conjac_us  t_total_us  ns_per_unit
then summary lines starting with '#': the slope of log(time) against log(size) fitted over the
models with size >= 1000 (1 means time proportional to size), the median and spread of
nanoseconds per unit of size by size decade, and the models with the most time per unit.

Usage: bench/nl_speed.py [--nl-eval PATH] [--data DIR] [--worst N] [NAME...]
Dependencies: python3 (standard library), the release build's bench/nl_eval.
"""

import argparse
import math
import os
import statistics
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def measure(nl_eval, path):
    p = subprocess.run([nl_eval, '--time', path], capture_output=True, text=True)
    if p.returncode != 0:
        return None
    values = {}
    for line in p.stdout.splitlines():
        f = line.split('\t')
        if f[0] == 'size':
            values['ops'], values['nnz'] = int(f[1]), int(f[2])
        elif f[0] in ('time_objgrad', 'time_conjac'):
            values[f[0]] = float(f[1])
    return values


def fit_slope(points):
    xs = [math.log(s) for s, _ in points]
    ys = [math.log(t) for _, t in points]
    mx, my = statistics.fmean(xs), statistics.fmean(ys)
    sxx = sum((x - mx) ** 2 for x in xs)
    return sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sxx if sxx > 0 else float('nan')


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('--nl-eval', default=os.path.join(ROOT, 'build/release/bench/nl_eval'))
    ap.add_argument('--data', default=os.environ.get('NL_DATA', os.path.join(ROOT, '../shared/data/nl')))
    ap.add_argument('--worst', type=int, default=10)
    ap.add_argument('names', nargs='*')
    args = ap.parse_args()
    with open(os.path.join(args.data, 'INDEX.tsv')) as f:
        header = f.readline().rstrip('\n').split('\t')
        rows = [dict(zip(header, l.rstrip('\n').split('\t'))) for l in f]
    rows = [r for r in rows if not args.names or r['name'] in args.names]
    print('name\toperations\tnonzeros\tsize\tt_objgrad_us\tt_conjac_us\tt_total_us\tns_per_unit')
    results = []
    for r in rows:
        v = measure(args.nl_eval, os.path.join(args.data, r['file']))
        if v is None:
            print(f"{r['name']}\t-\t-\t-\t-\t-\t-\t-")
            continue
        size = v['ops'] + v['nnz']
        total = v['time_objgrad'] + v['time_conjac']
        per = total * 1e9 / max(size, 1)
        results.append((r['name'], size, total, per))
        print(f"{r['name']}\t{v['ops']}\t{v['nnz']}\t{size}\t{v['time_objgrad'] * 1e6:.3f}\t"
              f"{v['time_conjac'] * 1e6:.3f}\t{total * 1e6:.3f}\t{per:.2f}", flush=True)
    large = [(s, t) for _, s, t, _ in results if s >= 1000 and t > 0]
    print(f'# {len(results)} models timed; slope of log(time) on log(size) over the {len(large)} with size >= 1000: '
          f'{fit_slope(large):.3f}')
    decades = {}
    for name, size, total, per in results:
        decades.setdefault(int(math.log10(max(size, 1))), []).append(per)
    for d in sorted(decades):
        v = sorted(decades[d])
        print(f'# size 1e{d}..1e{d + 1}: {len(v)} models, ns per unit median {statistics.median(v):.2f}, '
              f'10% {v[len(v) // 10]:.2f}, 90% {v[(9 * len(v)) // 10]:.2f}, max {v[-1]:.2f}')
    worst = sorted((r for r in results if r[1] >= 1000), key=lambda r: -r[3])[:args.worst]
    for name, size, total, per in worst:
        print(f'# most per unit: {name}\tsize {size}\t{total * 1e6:.1f} us\t{per:.2f} ns per unit')


if __name__ == '__main__':
    main()
