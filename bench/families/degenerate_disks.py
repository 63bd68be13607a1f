#!/usr/bin/python3
"""Degenerate disks: more constraints active at the solution than variables, all of them
touching at one point.

    degenerate_disks.py BLOCKS [linear|quadratic] [free|box] [interior|zero] [CURVATURE] [SCALE] [--out DIR]

The variables come in two-variable blocks x_b = (u_b, v_b), each held in a disk
||x_b - c_b|| <= R_b. At the constructed solution p_b = c_b + R_b n_b (n_b a unit vector) three
rows of the block are active in some blocks and two in the others:
  * the disk itself, (u - c1)^2 + (v - c2)^2 <= R^2;
  * the tangent half-plane n'x <= n'p, which contains the disk and touches it at p only;
  * in two blocks of every five, an indefinite quadratic
        q(x) = s + a t^2 - b s^2 <= 0,   s = n'(x - p),  t = n_perp'(x - p),  a = 1 / (4R), b > 0,
    which is concave across the normal and convex along the tangent. It does not cut the disk:
    inside it t^2 <= -2Rs - s^2 with s in [-2R, 0], so q <= s (1 - 2aR) - (a + b) s^2 =
    s / 2 - (a + b) s^2 <= 0, with equality only at p. The feasible set is therefore exactly
    the disk, convex, although this row's function is not.
With 500 blocks that is 1,200 active rows whose gradients at p are all parallel to n_b within
a block (2R n, n and n): the active Jacobian has rank 500, one per block.

The objective pulls every block outward along n_b: linear, sum -mu_b n_b'x_b, or quadratic,
sum 1/2 ||x_b - (p_b + mu_b n_b)||^2 (its nearest point of the disk is p_b). Either way the
model is convex and p is its unique minimizer: over a disk, a linear function with gradient
-mu n is least at the boundary point where the outward normal is n, and the projection of a
point beyond p on the ray from c is p. The known objective is then exact.

Multipliers: grad f(p) = -mu n = y_disk 2R n + y_half n + y_quad n; the generator splits mu
evenly over the active rows (y <= 0, rows at their upper limits); they are not unique, which
is the point of the family.

The data are decimal numbers with few digits (unit normals from the triples 3-4-5, 7-24-25
and 44-117-125, radii and centres in halves), so the file holds the construction exactly and
stays small. Variables are free ("free") or in a loose box of 3 radii around the centre
("box"); the start is inside the disk, opposite p ("interior"), or 0 ("zero"). CURVATURE
(default 1) multiplies b, the concavity of the quadratic across the normal: neither the
feasible set nor the solution changes, but a linearization of the rows far from p, with the
multipliers spread over the degenerate active set, then sees a strongly concave Lagrangian.
SCALE (default 1) multiplies the centres and radii (and divides b, so that the shapes stay).
"""

import random
import sys

from family_common import Instance, main, fsum
import nl_writer as nw

NORMALS = [(0.6, 0.8), (0.28, 0.96), (0.352, 0.936), (1.0, 0.0)]
RADII = [0.5, 1.0, 1.25, 2.0, 2.5]
PULLS = [0.5, 1.0, 1.5, 2.0]
CURVATURES = [0.1, 0.25, 0.5]


def block_data(rng, curvature, scale):
    a, b = rng.choice(NORMALS)
    if rng.random() < 0.5:
        a, b = b, a
    n = (a * rng.choice((-1, 1)), b * rng.choice((-1, 1)))
    r = rng.choice(RADII) * scale
    c = (rng.randint(-20, 20) / 2.0 * scale, rng.randint(-20, 20) / 2.0 * scale)
    p = (c[0] + r * n[0], c[1] + r * n[1])
    return n, r, c, p, rng.choice(PULLS), rng.choice(CURVATURES) * curvature / scale


def build(blocks, objective="linear", bounds="free", start="interior", curvature=1, scale=1):
    blocks, curvature, scale = int(blocks), float(curvature), float(scale)
    if blocks < 1 or objective not in ("linear", "quadratic") or bounds not in ("free", "box") \
            or start not in ("interior", "zero") or curvature <= 0 or scale <= 0:
        raise ValueError("bad arguments")
    rng = random.Random(20261209)
    name = "disks%d_%s_%s" % (2 * blocks, "lin" if objective == "linear" else "quad", bounds)
    name += ("" if start == "interior" else "_zero") + ("" if curvature == 1 else "_c%g" % curvature)
    name += "" if scale == 1 else "_s%g" % scale
    m = nw.Model(name)
    x, y, f_terms, obj_linear, known = [], [], [], {}, []
    for blk in range(blocks):
        n, r, c, p, mu, beta = block_data(rng, curvature, scale)
        lo = [c[k] - 3 * r for k in range(2)] if bounds == "box" else [None, None]
        hi = [c[k] + 3 * r for k in range(2)] if bounds == "box" else [None, None]
        s0 = [c[k] - 0.5 * r * n[k] for k in range(2)] if start == "interior" else [None, None]
        u = m.variable(lower=lo[0], upper=hi[0], start=s0[0], name="u%d" % blk)
        v = m.variable(lower=lo[1], upper=hi[1], start=s0[1], name="v%d" % blk)
        x += [p[0], p[1]]
        with_quadratic = blk % 5 < 2
        active = 3 if with_quadratic else 2
        m.constraint(expr=(u - c[0]) ** 2 + (v - c[1]) ** 2, upper=r * r, name="disk%d" % blk)
        y.append(-mu / (active * 2 * r))
        tangent = (-n[1], n[0])
        np_ = n[0] * p[0] + n[1] * p[1]
        if with_quadratic:
            tp = tangent[0] * p[0] + tangent[1] * p[1]
            t = tangent[0] * u + tangent[1] * v - tp
            s = n[0] * u + n[1] * v - np_
            m.constraint(linear={u: n[0], v: n[1]}, expr=(1.0 / (4 * r)) * t ** 2 - beta * s ** 2, upper=np_,
                         name="quad%d" % blk)
            y.append(-mu / active)
        m.constraint(linear={u: n[0], v: n[1]}, upper=np_, name="half%d" % blk)
        y.append(-mu / active)
        if objective == "linear":
            obj_linear[u] = -mu * n[0]
            obj_linear[v] = -mu * n[1]
            known.append(-mu * np_)
        else:
            z = (p[0] + mu * n[0], p[1] + mu * n[1])
            f_terms += [0.5 * (u - z[0]) ** 2, 0.5 * (v - z[1]) ** 2]
            known.append(0.5 * mu * mu)
    m.objective(linear=obj_linear, expr=nw.sumlist(f_terms) if f_terms else None)
    rows = sum(3 if b % 5 < 2 else 2 for b in range(blocks))
    note = "%d active rows of rank %d" % (rows, blocks)
    return Instance(name, "degenerate_disks", m, x, y, fsum(known), True, note)


if __name__ == "__main__":
    main(build, sys.argv[1:], __doc__.split("\n\n")[1])
