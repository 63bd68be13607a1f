#!/usr/bin/env python3
"""Checks the .nl reader and evaluator against the reference evaluations over the model set.

For every model of INDEX.tsv (or the names given) nl_eval is run at the starting point and at the
perturbed point of the reference files, and every value is compared with eval/NAME.tsv: the point
itself, objective, gradient, constraint bodies and Jacobian, each to 1e-9 relative
(|ours - ref| <= 1e-9 max(1, |ref|)). Models whose reference lists only weighted sums
("detail sums") are compared through the same sums: count K exactly, S to 1e-9 max(1, A), MAX to
1e-9 relative. A reference "obj error" for a model without objective agrees with our "obj none".

Where a derivative differs, it is checked against central differences of our own values
(step 1e-6 max(1, |x_j|)); the model is then classed
  fd-ours   every differing derivative agrees with the differences of our values (to 1e-5) and
            not with the reference, while all values agree with the reference: the reference's
            derivative is not that of its own function;
  deriv-err the reference reports "obj error" where our value is defined but its derivative is not
            (we print the value and "grad error"): both refuse the point, ours for the derivative.
Anything else that differs is "no".

Output: one TSV line per model on stdout
  name format n_var n_con read agree worst_rel worst_item [nodes nonzeros t_objgrad t_conjac]
then summary lines starting with '#'. worst_rel is the largest |ours - ref| / max(1, |ref|) over
all compared items (sums: |S - S_ref| / max(1, A_ref)); worst_item names it.

Usage: bench/nl_sweep.py [--nl-eval PATH] [--data DIR] [--time] [--worst N] [NAME...]
  --data    the model folder (default ../shared/data/nl from the project root, or $NL_DATA)
  --time    also time the evaluations (nl_eval --time at the starting point): size and seconds
Dependencies: python3 (standard library), the release build's bench/nl_eval.
"""

import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
TOL = 1e-9
FD_TOL = 1e-5


def read_items(lines):
    """Maps the lines of one point to {('obj',): v, ('grad', j): v, ...}; ('obj', 'all') etc. for
    'error' or 'none'."""
    items = {}
    for line in lines:
        f = line.rstrip('\n').split('\t')
        key = f[0]
        if key in ('obj', 'con', 'grad', 'jac') and len(f) == 2 and f[1] in ('error', 'none'):
            items[(key, 'all')] = f[1]
        elif key == 'obj':
            items[('obj',)] = float(f[1])
        elif key in ('grad', 'con', 'x'):
            items[(key, int(f[1]))] = float(f[2])
        elif key == 'jac':
            items[(key, int(f[1]), int(f[2]))] = float(f[3])
        elif key in ('gradsum', 'consum', 'jacsum'):
            items[(key,)] = tuple(float(v) for v in f[1:])
    return items


def split_points(text):
    """{'start': [lines], 'perturbed': [lines]} and the detail level."""
    points, current, detail = {}, None, 'full'
    for line in text.splitlines():
        f = line.split('\t')
        if f[0] == 'point':
            current = f[1]
            points[current] = []
        elif f[0] == 'detail':
            detail = f[1]
        elif current is not None:
            points[current].append(line)
    return points, detail


def weight(k):
    return 1.0 + ((k * 2654435761) % (1 << 32)) / float(1 << 32)


def sums(items, kind):
    """K, S, A, MAX of our values of one kind, as the reference computes them."""
    k = s = a = mx = 0
    for key, v in items.items():
        if key[0] != kind or key[1] == 'all':
            continue
        idx = key[1] if kind != 'jac' else key[1] * 1000003 + key[2]
        w = weight(idx)
        k += 1
        s += v * w
        a += abs(v) * w
        mx = max(mx, abs(v))
    return k, s, a, mx


def relative(ours, ref, scale=None):
    return abs(ours - ref) / max(1.0, abs(ref) if scale is None else scale)


class Comparison:
    def __init__(self):
        self.worst, self.where = 0.0, ''
        self.problems = []       # (text) differences other than derivatives
        self.derivatives = []    # (point, key, ours, ref) differing derivatives
        self.derivative_errors = False

    def number(self, ours, ref, where, scale=None, key=None, point=None):
        if ours is None:
            self.problems.append(where + ' missing')
            return
        rel = relative(ours, ref, scale)
        if rel > self.worst:
            self.worst, self.where = rel, where
        if rel <= TOL:
            return
        if key is not None and key[0] in ('grad', 'jac'):
            self.derivatives.append((point, key, ours, ref))
        else:
            self.problems.append(where)


def compare_point(point, ref, ours, detail, cmp):
    ref_obj_err = ('obj', 'all') in ref
    if ref_obj_err:
        if ours.get(('obj', 'all')) in ('error', 'none'):
            pass
        elif ours.get(('grad', 'all')) == 'error':
            cmp.derivative_errors = True
        else:
            cmp.problems.append(f'{point} obj: reference error, ours {ours.get(("obj",))}')
    elif ('obj',) in ref:
        cmp.number(ours.get(('obj',)), ref[('obj',)], f'{point} obj')
    ref_con_err = ('con', 'all') in ref
    if ref_con_err != (ours.get(('con', 'all')) == 'error'):
        cmp.problems.append(f'{point} con error: reference {ref_con_err}, ours {not ref_con_err}')
    for kind in ('grad', 'jac'):
        if ours.get((kind, 'all')) == 'error' and not (kind == 'grad' and ref_obj_err):
            cmp.problems.append(f'{point} {kind}: ours error, the reference has values')
    if detail == 'full':
        for key, value in ref.items():
            if key[0] in ('grad', 'con', 'jac', 'x') and key[1] != 'all':
                where = point + ' ' + ' '.join(str(k) for k in key)
                cmp.number(ours.get(key), value, where, key=key, point=point)
        for key in ours:
            if key[0] in ('grad', 'jac') and key[1] != 'all' and key not in ref and not ref_obj_err and not ref_con_err:
                cmp.problems.append(f'{point} {key} not in the reference pattern')
        return
    for kind in ('grad', 'con', 'jac'):
        r = ref.get((kind + 'sum',))
        if r is None or (kind == 'grad' and ref_obj_err) or (kind != 'grad' and ref_con_err):
            continue
        k, s, a, mx = sums(ours, kind)
        if int(r[0]) != k:
            cmp.problems.append(f'{point} {kind}sum count {k} != {int(r[0])}')
            continue
        cmp.number(s, r[1], f'{point} {kind}sum S', scale=r[2])
        cmp.number(mx, r[3], f'{point} {kind}sum MAX')


def run_eval(nl_eval, path, extra):
    p = subprocess.run([nl_eval] + extra + [path], capture_output=True, text=True)
    return p.returncode, p.stdout, p.stderr.strip()


def function_value(nl_eval, path, x, key):
    """Our value of the objective (grad keys) or constraint key[1] (jac keys) at x."""
    with tempfile.NamedTemporaryFile('w', suffix='.txt', delete=False) as f:
        f.write('\n'.join(repr(v) for v in x) + '\n')
        name = f.name
    try:
        _, out, _ = run_eval(nl_eval, path, ['--point', name])
    finally:
        os.unlink(name)
    items = read_items(out.splitlines())
    return items.get(('obj',)) if key[0] == 'grad' else items.get(('con', key[1]))


def differences_side_with_ours(nl_eval, path, points, cmp, limit=6):
    """True when every differing derivative (up to limit) matches central differences of our
    values and not the reference."""
    for point, key, ours, ref in cmp.derivatives[:limit]:
        x = points[point]
        j = key[-1]
        h = 1e-6 * max(1.0, abs(x[j]))
        up, down = list(x), list(x)
        up[j] += h
        down[j] -= h
        fu, fd = function_value(nl_eval, path, up, key), function_value(nl_eval, path, down, key)
        if fu is None or fd is None:
            return False
        diff = (fu - fd) / (2 * h)
        if relative(diff, ours) > FD_TOL or relative(diff, ref) <= FD_TOL:
            return False
    return True


def our_point(items, n):
    return [items.get(('x', j), 0.0) for j in range(n)]


def index_rows(data):
    with open(os.path.join(data, 'INDEX.tsv')) as f:
        header = f.readline().rstrip('\n').split('\t')
        for line in f:
            yield dict(zip(header, line.rstrip('\n').split('\t')))


def timing_of(text):
    timing = ['-'] * 4
    for line in text.splitlines():
        f = line.split('\t')
        if f[0] == 'size':
            timing[0:2] = f[1:3]
        elif f[0] == 'time_objgrad':
            timing[2] = f[1]
        elif f[0] == 'time_conjac':
            timing[3] = f[1]
    return timing


def check_model(args, r, totals, worst, notes):
    path = os.path.join(args.data, r['file'])
    rc, out_start, err = run_eval(args.nl_eval, path, ['--x'] + (['--time'] if args.time else []))
    if rc != 0:
        notes.append(f"unread {r['name']}: {err}")
        return [r['name'], r['format'], r['n_var'], r['n_con'], 'no', '-', '-', err], ['-'] * 4
    totals['read'] += 1
    head = dict(l.split('\t', 1) for l in out_start.splitlines()[:3])
    if head.get('n_var') == r['n_var'] and head.get('n_con') == r['n_con']:
        totals['size_ok'] += 1
    line = [r['name'], r['format'], r['n_var'], r['n_con'], 'yes', '-', '-', 'no reference']
    ref_path = os.path.join(args.data, 'eval', r['name'] + '.tsv')
    if not os.path.exists(ref_path):
        return line, timing_of(out_start)
    totals['with_ref'] += 1
    _, out_perturbed, _ = run_eval(args.nl_eval, path, ['--perturbed'])
    ours = {'start': split_points(out_start)[0]['start'], 'perturbed': split_points(out_perturbed)[0]['perturbed']}
    with open(ref_path) as f:
        ref_points, detail = split_points(f.read())
    cmp = Comparison()
    points = {}
    for point, lines in ref_points.items():
        our_items = read_items(ours[point])
        points[point] = our_point(our_items, int(r['n_var']))
        compare_point(point, read_items(lines), our_items, detail, cmp)
    if cmp.problems:
        verdict = 'no'
        notes.append(f"differs {r['name']}: {cmp.problems[0]}")
    elif cmp.derivatives:
        verdict = 'fd-ours' if differences_side_with_ours(args.nl_eval, path, points, cmp) else 'no'
        p, key, o, rf = cmp.derivatives[0]
        notes.append(f"{verdict} {r['name']}: {len(cmp.derivatives)} derivatives differ, e.g. {p} {key}: "
                     f"ours {o:.10g}, reference {rf:.10g}")
    elif cmp.derivative_errors:
        verdict = 'deriv-err'
        notes.append(f"deriv-err {r['name']}: reference obj error where our value is defined and its gradient is not")
    else:
        verdict = 'yes'
    totals[verdict] = totals.get(verdict, 0) + 1
    worst.append((cmp.worst, r['name'], cmp.where))
    line[5:8] = [verdict, f'{cmp.worst:.2e}', cmp.where]
    return line, timing_of(out_start)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('--nl-eval', default=os.path.join(ROOT, 'build/release/bench/nl_eval'))
    ap.add_argument('--data', default=os.environ.get('NL_DATA', os.path.join(ROOT, '../shared/data/nl')))
    ap.add_argument('--time', action='store_true')
    ap.add_argument('--worst', type=int, default=10)
    ap.add_argument('names', nargs='*')
    args = ap.parse_args()

    rows = [r for r in index_rows(args.data) if not args.names or r['name'] in args.names]
    totals = {'models': len(rows), 'read': 0, 'size_ok': 0, 'with_ref': 0}
    worst, notes = [], []
    cols = ['name', 'format', 'n_var', 'n_con', 'read', 'agree', 'worst_rel', 'worst_item']
    print('\t'.join(cols + (['nodes', 'nonzeros', 't_objgrad', 't_conjac'] if args.time else [])))
    for r in rows:
        line, timing = check_model(args, r, totals, worst, notes)
        print('\t'.join(line + (timing if args.time else [])))
        sys.stdout.flush()
    print(f"# models {totals['models']}, read {totals['read']}, sizes equal to INDEX.tsv {totals['size_ok']}, "
          f"with reference {totals['with_ref']}: agree to {TOL:g} {totals.get('yes', 0)}, "
          f"fd-ours {totals.get('fd-ours', 0)}, deriv-err {totals.get('deriv-err', 0)}, differ {totals.get('no', 0)}")
    for w, name, where in sorted(worst, reverse=True)[:args.worst]:
        print(f'# worst {w:.3e}\t{name}\t{where}')
    for n in notes:
        print(f'# {n}')


if __name__ == '__main__':
    main()
