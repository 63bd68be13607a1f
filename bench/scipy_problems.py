"""The 30 problems of bench/scipy_compare.py, written as SciPy users write them: functions of a
NumPy vector with their gradients, Bounds, LinearConstraint and NonlinearConstraint (sparse
Jacobians where the structure is sparse). problem(name) returns a dict with fun, jac, x0, bounds
and constraints; known optima, where the literature gives them, are in `known`.
"""

import numpy as np
from scipy import sparse
from scipy.optimize import Bounds, LinearConstraint, NonlinearConstraint, rosen, rosen_der

INF = np.inf


def _p(fun, jac, x0, bounds=None, constraints=(), known=None):
    return dict(fun=fun, jac=jac, x0=np.asarray(x0, float), bounds=bounds, constraints=list(constraints), known=known)


def _nl(fun, jac, lo, hi):
    return NonlinearConstraint(fun, lo, hi, jac=jac)


# Hock-Schittkowski problems with their published optima.
def hs006():
    return _p(lambda x: (1 - x[0]) ** 2, lambda x: np.array([-2 * (1 - x[0]), 0.0]), [-1.2, 1.0],
              constraints=[_nl(lambda x: [10 * (x[1] - x[0] ** 2)], lambda x: [[-20 * x[0], 10.0]], 0, 0)], known=0.0)


def hs021():
    return _p(lambda x: 0.01 * x[0] ** 2 + x[1] ** 2 - 100, lambda x: np.array([0.02 * x[0], 2 * x[1]]), [-1.0, -1.0],
              bounds=Bounds([2, -50], [50, 50]), constraints=[LinearConstraint([[10, -1]], 10, INF)], known=-99.96)


def hs035():
    def f(x):
        return 9 - 8 * x[0] - 6 * x[1] - 4 * x[2] + 2 * x[0] ** 2 + 2 * x[1] ** 2 + x[2] ** 2 + 2 * x[0] * x[1] + 2 * x[0] * x[2]

    def g(x):
        return np.array([-8 + 4 * x[0] + 2 * x[1] + 2 * x[2], -6 + 4 * x[1] + 2 * x[0], -4 + 2 * x[2] + 2 * x[0]])
    return _p(f, g, [0.5, 0.5, 0.5], bounds=Bounds(0, INF), constraints=[LinearConstraint([[1, 1, 2]], -INF, 3)],
              known=1 / 9)


def hs040():
    def f(x):
        return -x[0] * x[1] * x[2] * x[3]

    def g(x):
        return -np.array([x[1] * x[2] * x[3], x[0] * x[2] * x[3], x[0] * x[1] * x[3], x[0] * x[1] * x[2]])

    def c(x):
        return [x[0] ** 3 + x[1] ** 2, x[0] ** 2 * x[3] - x[2], x[3] ** 2 - x[1]]

    def cj(x):
        return [[3 * x[0] ** 2, 2 * x[1], 0, 0], [2 * x[0] * x[3], 0, -1, x[0] ** 2], [0, -1, 0, 2 * x[3]]]
    return _p(f, g, [0.8] * 4, constraints=[_nl(c, cj, [1, 0, 0], [1, 0, 0])], known=-0.25)


def hs043():
    def f(x):
        return x[0] ** 2 + x[1] ** 2 + 2 * x[2] ** 2 + x[3] ** 2 - 5 * x[0] - 5 * x[1] - 21 * x[2] + 7 * x[3]

    def g(x):
        return np.array([2 * x[0] - 5, 2 * x[1] - 5, 4 * x[2] - 21, 2 * x[3] + 7])

    def c(x):
        return [8 - x[0] ** 2 - x[1] ** 2 - x[2] ** 2 - x[3] ** 2 - x[0] + x[1] - x[2] + x[3],
                10 - x[0] ** 2 - 2 * x[1] ** 2 - x[2] ** 2 - 2 * x[3] ** 2 + x[0] + x[3],
                5 - 2 * x[0] ** 2 - x[1] ** 2 - x[2] ** 2 - 2 * x[0] + x[1] + x[3]]

    def cj(x):
        return [[-2 * x[0] - 1, -2 * x[1] + 1, -2 * x[2] - 1, -2 * x[3] + 1],
                [-2 * x[0] + 1, -4 * x[1], -2 * x[2], -4 * x[3] + 1],
                [-4 * x[0] - 2, -2 * x[1] + 1, -2 * x[2], 1]]
    return _p(f, g, [0.0] * 4, constraints=[_nl(c, cj, 0, INF)], known=-44.0)


def hs065():
    def f(x):
        return (x[0] - x[1]) ** 2 + (x[0] + x[1] - 10) ** 2 / 9 + (x[2] - 5) ** 2

    def g(x):
        a, b = 2 * (x[0] - x[1]), 2 * (x[0] + x[1] - 10) / 9
        return np.array([a + b, -a + b, 2 * (x[2] - 5)])
    return _p(f, g, [-5.0, 5.0, 0.0], bounds=Bounds([-4.5, -4.5, -5], [4.5, 4.5, 5]),
              constraints=[_nl(lambda x: [48 - x @ x], lambda x: [-2 * x], 0, INF)], known=0.9535288567)


def hs071():
    def f(x):
        return x[0] * x[3] * (x[0] + x[1] + x[2]) + x[2]

    def g(x):
        s = x[0] + x[1] + x[2]
        return np.array([x[3] * (s + x[0]), x[0] * x[3], x[0] * x[3] + 1, x[0] * s])

    def c(x):
        return [np.prod(x), x @ x]

    def cj(x):
        return [[x[1] * x[2] * x[3], x[0] * x[2] * x[3], x[0] * x[1] * x[3], x[0] * x[1] * x[2]], 2 * x]
    return _p(f, g, [1, 5, 5, 1], bounds=Bounds(1, 5), constraints=[_nl(c, cj, [25, 40], [INF, 40])],
              known=17.0140172891)


def hs076():
    H = np.array([[2, 0, -1, 0], [0, 1, 0, 0], [-1, 0, 2, 1], [0, 0, 1, 1.0]])
    c = np.array([-1, -3, 1, -1.0])
    A = [[1, 2, 1, 1], [3, 1, 2, -1], [0, 1, 4, 0]]
    return _p(lambda x: 0.5 * x @ H @ x + c @ x, lambda x: H @ x + c, [0.5] * 4, bounds=Bounds(0, INF),
              constraints=[LinearConstraint(A, [-INF, -INF, 1.5], [5, 4, INF])], known=-4.681818181)


# Rosenbrock's function: unconstrained chains, and with bounds that hold at the solution.
def rosen_chain(n):
    x0 = np.tile([-1.2, 1.0], n // 2)
    return _p(rosen, rosen_der, x0, known=0.0)


def rosen_bounded(n):
    return _p(rosen, rosen_der, np.full(n, -1.0), bounds=Bounds(-2, np.r_[np.full(n // 2, 0.5), np.full(n - n // 2, 2)]))


# Least squares on the simplex: min ||A x - b||^2 with sum x = 1, x >= 0 (A sparse past 100).
def simplex_lsq(n):
    rng = np.random.default_rng(n)
    m = 2 * n
    A = sparse.random(m, n, density=min(1.0, 10 / n), random_state=rng, format="csr") if n > 100 else rng.normal(size=(m, n))
    b = rng.normal(size=m)

    def f(x):
        r = A @ x - b
        return float(r @ r)

    def g(x):
        return 2 * (A.T @ (A @ x - b))
    return _p(f, g, np.full(n, 1.0 / n), bounds=Bounds(0, INF),
              constraints=[LinearConstraint(sparse.csr_matrix(np.ones((1, n))), 1, 1)])


# Markowitz portfolio: min x' S x - mu' x with S = F F' + D (factor model), sum x = 1,
# 0 <= x <= 0.1, and a nonlinear turnover-like limit sum sqrt(x_i + 1e-4) <= bound (convex side).
def portfolio(n):
    rng = np.random.default_rng(7 + n)
    F = rng.normal(size=(n, 5)) * 0.1
    d = rng.uniform(0.01, 0.05, n)
    mu = rng.uniform(0.0, 0.1, n)

    def f(x):
        Fx = F.T @ x
        return float(Fx @ Fx + d @ (x * x) - mu @ x)

    def g(x):
        return 2 * (F @ (F.T @ x)) + 2 * d * x - mu
    return _p(f, g, np.full(n, 1.0 / n), bounds=Bounds(0, 0.1),
              constraints=[LinearConstraint(np.ones((1, n)), 1, 1)])


# Optimal control of x' = x - x^3 + u on [0, 1], trapezoid-free Euler steps: min h sum (x^2 + u^2)
# with x(0) = 1; variables (x_0..x_N, u_0..u_{N-1}), N equality rows with a sparse Jacobian.
def control(N):
    h = 1.0 / N
    n = 2 * N + 1
    rows = np.repeat(np.arange(N), 3)
    cols = np.column_stack([np.arange(N) + 1, np.arange(N), N + 1 + np.arange(N)]).ravel()

    def f(z):
        return float(h * (z[:N + 1] @ z[:N + 1] + z[N + 1:] @ z[N + 1:]))

    def g(z):
        return 2 * h * z

    def c(z):
        x, u = z[:N + 1], z[N + 1:]
        return x[1:] - x[:-1] - h * (x[:-1] - x[:-1] ** 3 + u)

    def cj(z):
        x = z[:N]
        vals = np.column_stack([np.ones(N), -1 - h * (1 - 3 * x ** 2), np.full(N, -h)]).ravel()
        return sparse.csr_matrix((vals, (rows, cols)), shape=(N, n))
    lower = np.full(n, -INF)
    upper = np.full(n, INF)
    lower[0] = upper[0] = 1.0
    z0 = np.zeros(n)
    z0[:N + 1] = 1.0
    return _p(f, g, z0, bounds=Bounds(lower, upper), constraints=[_nl(c, cj, 0, 0)])


# Points pulled towards (1, 1, ...) by a convex objective, kept in the disks x_i^2 + x_{i+1}^2 <= 1:
# n - 1 nonlinear rows, a two-diagonal sparse Jacobian.
def chained_disks(n):
    rows = np.repeat(np.arange(n - 1), 2)
    cols = np.column_stack([np.arange(n - 1), np.arange(1, n)]).ravel()
    w = 1 + np.arange(n) % 3

    def c(x):
        return x[:-1] ** 2 + x[1:] ** 2

    def cj(x):
        return sparse.csr_matrix((np.column_stack([2 * x[:-1], 2 * x[1:]]).ravel(), (rows, cols)), shape=(n - 1, n))
    return _p(lambda x: float(w @ (x - 1) ** 2), lambda x: 2 * w * (x - 1), np.zeros(n),
              constraints=[_nl(c, cj, -INF, 1)])


# Maximum entropy with moment rows: min sum x log x, A x = b, x >= 1e-10.
def entropy(n):
    t = np.linspace(0, 1, n)
    A = np.vstack([np.ones(n), t, t * t])
    b = A @ np.exp(-t) / np.sum(np.exp(-t))
    return _p(lambda x: float(x @ np.log(x)), lambda x: np.log(x) + 1, np.full(n, 1.0 / n), bounds=Bounds(1e-10, INF),
              constraints=[LinearConstraint(A, b, b)])


# Projection on the unit ball: min ||x - c||^2 with ||x||^2 <= 1 (the answer is c / ||c||).
def ball_projection(n):
    c0 = np.linspace(-1, 2, n)
    known = (np.linalg.norm(c0) - 1) ** 2
    return _p(lambda x: float((x - c0) @ (x - c0)), lambda x: 2 * (x - c0), np.zeros(n),
              constraints=[_nl(lambda x: [x @ x], lambda x: (2 * x).reshape(1, -1), -INF, 1)], known=known)


# A quartic with one dense linear row: min sum x^4 + x^2 - x with sum x = n / 2.
def quartic_sum(n):
    return _p(lambda x: float(np.sum(x ** 4 + x ** 2 - x)), lambda x: 4 * x ** 3 + 2 * x - 1, np.zeros(n),
              constraints=[LinearConstraint(np.ones((1, n)), n / 2, n / 2)])


PROBLEMS = {
    "hs006": hs006, "hs021": hs021, "hs035": hs035, "hs040": hs040, "hs043": hs043, "hs065": hs065,
    "hs071": hs071, "hs076": hs076,
    "rosen2": lambda: rosen_chain(2), "rosen10": lambda: rosen_chain(10), "rosen100": lambda: rosen_chain(100),
    "rosen1000": lambda: rosen_chain(1000), "rosen_bounded100": lambda: rosen_bounded(100),
    "simplex_lsq50": lambda: simplex_lsq(50), "simplex_lsq500": lambda: simplex_lsq(500),
    "simplex_lsq2000": lambda: simplex_lsq(2000),
    "portfolio50": lambda: portfolio(50), "portfolio200": lambda: portfolio(200), "portfolio1000": lambda: portfolio(1000),
    "control100": lambda: control(100), "control1000": lambda: control(1000), "control2500": lambda: control(2500),
    "disks100": lambda: chained_disks(100), "disks1000": lambda: chained_disks(1000),
    "disks5000": lambda: chained_disks(5000),
    "entropy100": lambda: entropy(100), "entropy1000": lambda: entropy(1000),
    "ball500": lambda: ball_projection(500), "quartic2000": lambda: quartic_sum(2000),
    "quartic5000": lambda: quartic_sum(5000),
}


def problem(name):
    return PROBLEMS[name]()


def violation(p, x):
    """The largest violation of the bounds and constraints at x (absolute)."""
    worst = 0.0
    b = p["bounds"]
    if b is not None:
        lb, ub = np.broadcast_to(b.lb, x.shape), np.broadcast_to(b.ub, x.shape)
        worst = max(worst, float(np.max(np.maximum(lb - x, 0), initial=0)), float(np.max(np.maximum(x - ub, 0), initial=0)))
    for c in p["constraints"]:
        v = np.atleast_1d(c.A @ x if isinstance(c, LinearConstraint) else np.asarray(c.fun(x), float)).ravel()
        lo, hi = np.broadcast_to(c.lb, v.shape), np.broadcast_to(c.ub, v.shape)
        worst = max(worst, float(np.max(np.maximum(lo - v, 0))), float(np.max(np.maximum(v - hi, 0))))
    return worst
