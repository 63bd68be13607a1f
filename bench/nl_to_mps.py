#!/usr/bin/env python3
"""Writes a linear .nl model (text or binary, plain or gzip) as a free-format MPS file.

An independent copy of a linear model for checking the kavro command's .nl path against its
MPS path: this reads the file on its own, without the project's reader. Every expression must be
a constant (the model is linear); the first objective becomes the N row "obj" (a constant in it
goes to the RHS of "obj", which the MPS reader takes as minus the objective constant). The sense
is printed on standard error ("sense min" or "sense max"), since MPS has none.

Usage: bench/nl_to_mps.py MODEL.nl[.gz] OUT.mps
"""

import gzip
import struct
import sys

INF = float('inf')


class Text:
    def __init__(self, data, pos):
        self.tokens = []
        for line in data[pos:].decode('latin-1').splitlines():
            line = line.split('#', 1)[0]
            for word in line.split():
                self.tokens.append(word)
        self.k = 0

    def letter(self):
        if self.k >= len(self.tokens):
            return None
        w = self.tokens[self.k]
        if len(w) > 1 and not w[0].isdigit() and w[0] not in '-+.':
            self.tokens[self.k] = w[1:]
        else:
            self.k += 1
        return w[0]

    def int(self):
        self.k += 1
        return int(self.tokens[self.k - 1])

    def real(self):
        self.k += 1
        return float(self.tokens[self.k - 1])

    def char(self):
        w = self.tokens[self.k]
        if len(w) > 1:
            self.tokens[self.k] = w[1:]
        else:
            self.k += 1
        return w[0]


class Binary:
    def __init__(self, data, pos):
        self.d, self.p = data, pos

    def letter(self):
        if self.p >= len(self.d):
            return None
        self.p += 1
        return chr(self.d[self.p - 1])

    def int(self):
        self.p += 4
        return struct.unpack_from('<i', self.d, self.p - 4)[0]

    def real(self):
        self.p += 8
        return struct.unpack_from('<d', self.d, self.p - 8)[0]

    def char(self):
        self.p += 1
        return chr(self.d[self.p - 1])


def constant_expression(r):
    """The value of an expression that must be a constant."""
    kind = r.letter()
    if kind == 'n':
        return r.real()
    if kind == 's' and isinstance(r, Binary):
        r.p += 2
        return float(struct.unpack_from('<h', r.d, r.p - 2)[0])
    if kind in ('s', 'l'):
        return float(r.int())
    raise SystemExit(f'not a linear model: expression node {kind}')


def bound(r):
    t = r.char()
    if t == '0':
        return r.real(), r.real()
    if t == '1':
        return -INF, r.real()
    if t == '2':
        return r.real(), INF
    if t == '3':
        return -INF, INF
    if t == '4':
        v = r.real()
        return v, v
    raise SystemExit(f'bound type {t} not supported')


def read(path):
    data = open(path, 'rb').read()
    if data[:2] == b'\x1f\x8b':
        data = gzip.decompress(data)
    lines, pos = [], 0
    for _ in range(10):  # the first line and the nine lines of counts
        end = data.index(b'\n', pos)
        lines.append(data[pos:end].decode('latin-1').split('#', 1)[0].split())
        pos = end + 1
    first = lines[0]
    n, m, nobj = int(lines[1][0]), int(lines[1][1]), int(lines[1][2])
    r = Text(data, pos) if first[0][0] == 'g' else Binary(data, pos)
    var_bounds = [(-INF, INF)] * n
    con_bounds = [(-INF, INF)] * m
    cols = [dict() for _ in range(n)]
    obj, obj_const, sense = {}, 0.0, 0
    con_const = [0.0] * m
    start = {}
    while True:
        s = r.letter()
        if s is None:
            break
        if s == 'C':
            i = r.int()
            con_const[i] = constant_expression(r)
        elif s == 'O':
            k, sn = r.int(), r.int()
            c = constant_expression(r)
            if k == 0:
                obj_const, sense = c, sn
        elif s in ('x', 'd'):
            for _ in range(r.int()):
                j, v = r.int(), r.real()
                if s == 'x':
                    start[j] = v
        elif s == 'r':
            con_bounds = [bound(r) for _ in range(m)]
        elif s == 'b':
            var_bounds = [bound(r) for _ in range(n)]
        elif s == 'k':
            for _ in range(r.int()):
                r.int()
        elif s in ('J', 'G'):
            i, count = r.int(), r.int()
            for _ in range(count):
                j, c = r.int(), r.real()
                if s == 'J':
                    cols[j][i] = c
                elif i == 0:
                    obj[j] = c
        else:
            raise SystemExit(f'segment {s} not supported')
    return n, m, nobj, var_bounds, con_bounds, con_const, cols, obj, obj_const, sense, start


def write(model, out):
    n, m, nobj, vb, cb, cc, cols, obj, obj_const, sense, start = model
    f = open(out, 'w')
    g = lambda v: repr(float(v))
    f.write('NAME NLCOPY\nROWS\n')
    kinds = []
    for i, (lo, up) in enumerate(cb):
        lo, up = lo - cc[i], up - cc[i]
        if lo == up:
            kinds.append(('E', lo, None))
        elif lo > -INF and up < INF:
            kinds.append(('G', lo, up - lo))
        elif lo > -INF:
            kinds.append(('G', lo, None))
        elif up < INF:
            kinds.append(('L', up, None))
        else:
            kinds.append(('N', None, None))
        f.write(f' {kinds[-1][0]} c{i}\n')
    f.write(' N obj\n')
    f.write('COLUMNS\n')
    for j in range(n):
        for i, c in sorted(cols[j].items()):
            f.write(f' x{j} c{i} {g(c)}\n')
        if j in obj and nobj > 0:
            f.write(f' x{j} obj {g(obj[j])}\n')
        if j not in obj and not cols[j]:
            f.write(f' x{j} obj 0\n')
    f.write('RHS\n')
    if obj_const != 0.0 and nobj > 0:
        f.write(f' rhs obj {g(-obj_const)}\n')
    for i, (kind, rhs, rng) in enumerate(kinds):
        if kind != 'N' and rhs != 0.0:
            f.write(f' rhs c{i} {g(rhs)}\n')
    f.write('RANGES\n')
    for i, (kind, rhs, rng) in enumerate(kinds):
        if rng is not None:
            f.write(f' rng c{i} {g(rng)}\n')
    f.write('BOUNDS\n')
    for j, (lo, up) in enumerate(vb):
        if lo == up:
            f.write(f' FX bnd x{j} {g(lo)}\n')
            continue
        if lo == -INF and up == INF:
            f.write(f' FR bnd x{j}\n')
            continue
        if lo == -INF:
            f.write(f' MI bnd x{j}\n')
        elif lo != 0.0:
            f.write(f' LO bnd x{j} {g(lo)}\n')
        if up < INF:
            f.write(f' UP bnd x{j} {g(up)}\n')
    # The model's starting point as the bounds set INITIAL (kavro's MPS reader takes it as the
    # starting values; it must follow the bounds set proper).
    for j, v in sorted(start.items()):
        f.write(f' FX INITIAL x{j} {g(v)}\n')
    f.write('ENDATA\n')
    f.close()
    print('sense', 'max' if sense == 1 else 'min', file=sys.stderr)
    print('constant', repr(obj_const if nobj > 0 else 0.0), file=sys.stderr)


if __name__ == '__main__':
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    write(read(sys.argv[1]), sys.argv[2])
