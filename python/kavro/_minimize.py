"""kavro.minimize: SciPy's constrained `minimize` interface on KAVRO.

Multipliers follow SciPy's trust-constr: at a solution
    grad f(x) + sum_k J_k(x).T @ v[k] + v_bounds = 0,
so a multiplier is <= 0 where a lower limit holds the point and >= 0 where an upper limit does.
`v` has one array per constraint object, in the order given; `v_bounds` one value per variable.
"""

import warnings

import numpy as np
from scipy import sparse
from scipy.optimize import (Bounds, HessianUpdateStrategy, LinearConstraint, NonlinearConstraint, OptimizeResult,
                            OptimizeWarning)
from scipy.sparse.linalg import LinearOperator

from . import _kavro
from ._options import apply_options

INF = 1e20
_DIFFERENCES = ("2-point", "3-point", "cs")


def _limits(values, size, fill):
    a = np.full(size, fill, dtype=float) if values is None else np.broadcast_to(np.asarray(values, float), (size,))
    return np.clip(np.nan_to_num(a, nan=np.nan, posinf=INF, neginf=-INF), -INF, INF)


def _bounds(bounds, n):
    if bounds is None:
        return np.full(n, -INF), np.full(n, INF)
    if isinstance(bounds, Bounds):
        return _limits(bounds.lb, n, -INF), _limits(bounds.ub, n, INF)
    pairs = list(bounds)
    if len(pairs) != n:
        raise ValueError(f"bounds has {len(pairs)} pairs for {n} variables")
    lower = [-INF if lo is None else lo for lo, _ in pairs]
    upper = [INF if hi is None else hi for _, hi in pairs]
    return _limits(lower, n, -INF), _limits(upper, n, INF)


class _Objective:
    """fun and jac as SciPy takes them, as the callback the module calls."""

    def __init__(self, fun, jac, args):
        self.fun, self.jac, self.args = fun, jac, args
        self.with_gradient = jac is True or callable(jac)
        if jac is not None and jac is not True and not callable(jac) and jac not in _DIFFERENCES:
            raise ValueError(f"jac must be callable, True, None or one of {_DIFFERENCES}, not {jac!r}")

    def __call__(self, x, want_gradient):
        if self.jac is True:
            f, g = self.fun(x, *self.args)
            return (float(f), np.asarray(g, float).ravel()) if want_gradient else float(f)
        f = float(self.fun(x, *self.args))
        if not want_gradient:
            return f
        return f, np.asarray(self.jac(x, *self.args), float).ravel()


def _same(a, b):
    """a equals b. Arrays of one type compare as bytes: a memory comparison, a tenth of what
    np.array_equal costs on a Jacobian's indices, which are compared at every call."""
    if a.shape != b.shape:
        return False
    if a.dtype == b.dtype and a.flags.c_contiguous and b.flags.c_contiguous:
        return a.tobytes() == b.tobytes()
    return bool(np.array_equal(a, b))


class _Constraints:
    """A block of nonlinear constraints with its Jacobian in a fixed pattern.

    The pattern is the structure of the Jacobian at x0: the stored entries of a sparse matrix
    (kept sparse throughout), every entry of a dense one. A later sparse Jacobian with the same
    structure passes its values as they are; one with another structure is matched entry by
    entry, and an entry outside the pattern that is not zero is an error."""

    def __init__(self, fun, jac, n, x0, args=()):
        self.fun, self.jac, self.n, self.args = fun, jac, n, args
        self.with_jacobian = callable(jac)
        self.count = np.atleast_1d(np.asarray(fun(x0, *args), float)).size
        self.rows = self.columns = np.zeros(0, np.int32)
        self.indptr = self.indices = None
        if self.with_jacobian:
            self._pattern(jac(x0, *args))

    def _pattern(self, j0):
        if sparse.issparse(j0):
            j0 = sparse.csr_matrix(j0)
            j0.sort_indices()
            self.indptr, self.indices = j0.indptr.copy(), j0.indices.copy()
            self.rows = np.repeat(np.arange(self.count, dtype=np.int32), np.diff(self.indptr)).astype(np.int32)
            self.columns = self.indices.astype(np.int32)
            self.keys = self.rows.astype(np.int64) * self.n + self.columns
        else:
            self.rows = np.repeat(np.arange(self.count, dtype=np.int32), self.n)
            self.columns = np.tile(np.arange(self.n, dtype=np.int32), self.count)

    def _values(self, j):
        if self.indptr is None:
            if sparse.issparse(j):
                j = j.toarray()
            return np.asarray(j, float).reshape(self.count, self.n).ravel()
        if getattr(j, "format", None) != "csr":
            j = sparse.csr_matrix(j)  # a CSR matrix is taken as it is: converting one costs more than the call
        if self._same_structure(j):
            return j.data
        j = j.tocoo()
        keys = j.row.astype(np.int64) * self.n + j.col
        place = np.searchsorted(self.keys, keys)
        place = np.minimum(place, len(self.keys) - 1) if len(self.keys) else place
        found = (len(self.keys) > 0) & (self.keys[place] == keys) if len(self.keys) else np.zeros(len(keys), bool)
        if np.any(j.data[~found] != 0):
            k = int(np.flatnonzero(~found & (j.data != 0))[0])
            raise ValueError(f"the Jacobian has an entry at ({j.row[k]}, {j.col[k]}) outside the structure it had "
                             "at x0; store that entry (a zero will do) in the Jacobian at x0")
        values = np.zeros(len(self.keys))
        np.add.at(values, place[found], j.data[found])
        return values

    def _same_structure(self, j):
        return _same(j.indptr, self.indptr) and _same(j.indices, self.indices)

    def __call__(self, x, want_jacobian):
        c = np.atleast_1d(np.asarray(self.fun(x, *self.args), float))
        if not want_jacobian:
            return c
        return c, self._values(self.jac(x, *self.args))

    def add_to(self, model, lower, upper):
        model.add_nonlinear(_limits(lower, self.count, -INF), _limits(upper, self.count, INF), self,
                            self.with_jacobian, self.rows, self.columns)


def _hessian_choice(hess, what):
    """A callable hess, or None when `what` leaves the curvature to KAVRO's quasi-Newton model."""
    if callable(hess) and not isinstance(hess, HessianUpdateStrategy):
        return hess
    if hess is None or isinstance(hess, HessianUpdateStrategy) or (isinstance(hess, str) and hess in _DIFFERENCES):
        return None
    raise ValueError(f"{what} must be callable, None, a HessianUpdateStrategy or one of {_DIFFERENCES}, not {hess!r}")


def _times(h, p, what):
    """h @ p for what a Hessian callable returns: an array, a scipy.sparse matrix or a LinearOperator."""
    if not (sparse.issparse(h) or isinstance(h, LinearOperator)):
        h = np.asarray(h, float)
        if h.shape != (p.size, p.size):
            raise ValueError(f"{what} returned a matrix of shape {h.shape} for {p.size} variables")
    return np.asarray(h.dot(p), float).ravel()


class _Hessian:
    """The Hessian of the Lagrangian as KAVRO asks for it, as products with vectors:
        sigma H_f(x) p + sum_k H_k(x, lam_k) p,
    H_f from the objective's hess (or hessp), H_k from the hess(x, v) of the kth nonlinear
    constraint object, lam_k its multipliers. The solver makes many products at one point: a
    matrix is evaluated once per point (and multipliers) and reused."""

    def __init__(self, hess, hessp, args, blocks):
        self.hess, self.hessp, self.args, self.blocks = hess, hessp, args, blocks
        self.calls = 0
        self._x = self._objective = self._lam = None
        self._constraints = []

    def _prepare(self, x, lam):
        if self._x is None or not np.array_equal(x, self._x):
            self._x, self._lam = x.copy(), None
            if self.hess is not None:
                self.calls += 1
                self._objective = self.hess(self._x, *self.args)
        if self._lam is None or not np.array_equal(lam, self._lam):
            self._lam = lam.copy()
            self._constraints = [hess(self._x, self._lam[start:start + count]) for start, count, hess in self.blocks]

    def __call__(self, x, sigma, lam, p):
        self._prepare(x, lam)
        if self.hess is not None:
            hp = _times(self._objective, p, "hess")
        else:
            self.calls += 1
            hp = np.asarray(self.hessp(self._x, p, *self.args), float).ravel()
        hp = sigma * hp
        for h in self._constraints:
            hp = hp + _times(h, p, "a NonlinearConstraint's hess")
        return hp


def _linear(model, c, n):
    a = c.A
    a = sparse.csr_matrix(a) if sparse.issparse(a) else sparse.csr_matrix(np.atleast_2d(np.asarray(a, float)))
    if a.shape[1] != n:
        raise ValueError(f"a LinearConstraint has {a.shape[1]} columns for {n} variables")
    m = a.shape[0]
    model.add_linear_csr(a.indptr.astype(np.int64), a.indices.astype(np.int32), a.data.astype(float),
                         _limits(c.lb, m, -INF), _limits(c.ub, m, INF))
    return m


def _add_constraint(model, c, n, x0):
    """Adds one constraint object; returns the number of constraints it holds, whether they are
    nonlinear, and their callable hess(x, v) (None when they give none)."""
    if isinstance(c, LinearConstraint):
        return _linear(model, c, n), False, None
    if isinstance(c, NonlinearConstraint):
        block = _Constraints(c.fun, c.jac, n, x0)
        block.add_to(model, c.lb, c.ub)
        return block.count, True, _hessian_choice(c.hess, "a NonlinearConstraint's hess")
    if isinstance(c, dict):
        kind = c.get("type")
        if kind not in ("eq", "ineq"):
            raise ValueError(f"a constraint dict needs 'type' 'eq' or 'ineq', not {kind!r}")
        block = _Constraints(c["fun"], c.get("jac"), n, x0, tuple(c.get("args", ())))
        block.add_to(model, 0.0, 0.0 if kind == "eq" else INF)
        return block.count, True, None
    raise TypeError(f"constraints must be LinearConstraint, NonlinearConstraint or dict, not {type(c).__name__}")


def _set_hessian(model, hess, hessp, args, added):
    """Gives the model the Lagrangian's second derivatives when every nonlinear part has them;
    returns the _Hessian, or None (KAVRO's quasi-Newton model then, with a warning when only some
    parts gave theirs)."""
    hess = _hessian_choice(hess, "hess")
    hessp = None if hess is not None else _hessian_choice(hessp, "hessp")
    blocks, missing, start = [], [], 0
    for k, (count, nonlinear, block_hess) in enumerate(added):
        if nonlinear and block_hess is None:
            missing.append(k)
        elif nonlinear:
            blocks.append((start, count, block_hess))
        start += count
    if hess is None and hessp is None:
        if blocks:
            warnings.warn("the constraints' hess is not used: the objective has no hess or hessp", OptimizeWarning,
                          stacklevel=3)
        return None
    if missing:
        warnings.warn(f"hess/hessp is not used: constraint object {missing[0]} has no callable hess(x, v) "
                      "(constraint dicts have none); KAVRO's quasi-Newton model is used", OptimizeWarning,
                      stacklevel=3)
        return None
    second = _Hessian(hess, hessp, args, blocks)
    model.set_hessian_product(second)
    return second


def _progress(callback):
    def progress(line):
        info = OptimizeResult(nit=line["minor"], major=line["major"], fun=line["objective"],
                              feasibility=line["feasibility"], optimality=line["optimality"])
        try:
            return 2 if callback(info) else 0
        except StopIteration:
            return 2
    return progress


def _result(r, counts, n_objective_calls_jac, hessian=None):
    status = r["status"]
    res = OptimizeResult(
        x=r["x"], fun=r["objective"], success=status == 0, status=status,
        message=f"{r['status_text']}: {r['message']}", nit=r["iterations"], major_iterations=r["major_iterations"],
        nfev=r["objective_calls"], njev=r["gradient_calls"] if n_objective_calls_jac else 0,
        nhev=0 if hessian is None else hessian.calls,
        constr=[], v=[], v_bounds=r["bound_multipliers"], certificate=r["certificate"],
        execution_time=r["seconds"], runs=r["runs"], basis=r)
    start = 0
    for count in counts:
        res.constr.append(r["constraint_values"][start:start + count])
        res.v.append(r["constraint_multipliers"][start:start + count])
        start += count
    return res


def minimize(fun, x0, args=(), jac=None, hess=None, hessp=None, bounds=None, constraints=(), options=None,
             callback=None, warm_start=None):
    """Minimize fun(x, *args) subject to bounds and constraints, as scipy.optimize.minimize.

    jac: a callable returning the gradient, True when fun returns (f, gradient), or None /
    '2-point' / '3-point' to let KAVRO difference. hess(x, *args): the objective's Hessian (an
    array, a scipy.sparse matrix or a LinearOperator), or hessp(x, p, *args): its product with p
    (hess wins when both are given); with nonlinear constraints they are used only when every
    NonlinearConstraint has a callable hess(x, v) too (else a warning, and KAVRO's quasi-Newton
    model). None, '2-point', '3-point' or a HessianUpdateStrategy: the quasi-Newton model. Exact
    second derivatives serve large subspaces of free variables by default; the option
    hessian_option=1 uses them at every step, 0 never. bounds: a Bounds object or (min, max) pairs
    (None: no limit). constraints: LinearConstraint, NonlinearConstraint (dense or scipy.sparse
    Jacobian; jac '2-point' / '3-point' lets KAVRO difference) and the dicts
    {'type': 'eq' | 'ineq', 'fun', 'jac', 'args'}, alone or in a sequence. options: KAVRO options
    with Python names (major_iterations_limit=200, feasibility_tolerance=1e-8, ...; maxiter is
    the major iterations limit); an unknown name raises ValueError. callback(intermediate) gets
    an OptimizeResult with nit, major, fun, feasibility and optimality at each iteration-log line;
    returning True (or raising StopIteration) stops the run. warm_start: a previous result.

    Returns an OptimizeResult: x, fun, jac (the gradient at x), success, status (0 optimal,
    1 infeasible, 2 unbounded, 3 iteration limit, 4 time limit, 5 interrupted, 6 a callback
    raised (the exception propagates), 7 functions undefined, 8 not optimal, 9 numerical trouble,
    10 storage, 11 invalid model), message, nit, nfev, njev, constr (each constraint object's
    values), nhev (calls of hess or hessp), v (each constraint object's multipliers) and v_bounds (see the module's docstring
    for the sign convention), certificate (the optimality check of the returned point).
    """
    x0 = np.atleast_1d(np.asarray(x0, dtype=float)).ravel().copy()
    n = x0.size
    args = args if isinstance(args, tuple) else (args,)
    model = _kavro.Model()
    lower, upper = _bounds(bounds, n)
    model.add_variables(lower, upper, x0)
    objective = _Objective(fun, jac, args)
    model.set_objective(objective, objective.with_gradient)
    if isinstance(constraints, (dict, LinearConstraint, NonlinearConstraint)):
        constraints = [constraints]
    added = [_add_constraint(model, c, n, x0) for c in constraints]
    hessian = _set_hessian(model, hess, hessp, args, added)
    apply_options(model, options)
    if callback is not None:
        model.set_progress(_progress(callback))
    r = model.solve(None if warm_start is None else warm_start.basis)
    res = _result(r, [count for count, _, _ in added], objective.with_gradient, hessian)
    if objective.with_gradient:
        res.jac = objective(res.x, True)[1]
    return res
