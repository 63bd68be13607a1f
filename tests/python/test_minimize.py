"""kavro.minimize as SciPy users call it."""

import threading

import numpy as np
import pytest
from scipy import sparse
from scipy.optimize import Bounds, LinearConstraint, NonlinearConstraint, rosen, rosen_der

import kavro


def sphere(x):
    return float(x @ x)


def sphere_grad(x):
    return 2 * x


def two_active(**kw):
    """min x^2 + y^2, x >= 1 (linear), y <= -2 (nonlinear): multipliers -2 and 4 (trust-constr)."""
    return kavro.minimize(sphere, [3.0, 3.0], jac=sphere_grad,
                          constraints=[LinearConstraint([[1, 0]], 1, np.inf),
                                       NonlinearConstraint(lambda x: [x[1]], -np.inf, -2, **kw)])


@pytest.mark.parametrize("bounds", [Bounds([1, -np.inf], [np.inf, -2]), [(1, None), (None, -2)],
                                    Bounds(np.array([1.0, -1e30]), np.array([1e30, -2.0]))])
def test_every_form_of_bounds(bounds):
    r = kavro.minimize(sphere, [3.0, 3.0], jac=sphere_grad, bounds=bounds)
    assert r.success, r.message
    np.testing.assert_allclose(r.x, [1, -2], atol=1e-7)
    np.testing.assert_allclose(r.v_bounds, [-2, 4], atol=1e-6)


@pytest.mark.parametrize("jacobian", [lambda x: [[0, 1]], lambda x: sparse.csr_matrix([[0.0, 1.0]]), "2-point", "3-point"])
def test_nonlinear_constraint_jacobians_and_the_multiplier_convention(jacobian):
    r = two_active(jac=jacobian)
    assert r.success, r.message
    np.testing.assert_allclose(r.x, [1, -2], atol=1e-7)
    np.testing.assert_allclose(np.concatenate(r.v), [-2, 4], atol=1e-5)
    assert r.certificate["passed"]


def test_dict_constraints_jac_true_and_args():
    # min (x - a)^2 + (y - a)^2 with x + y = 1 (eq) and x - 0.2 >= 0 (ineq).
    def f_and_g(x, a):
        d = x - a
        return d @ d, 2 * d
    cons = ({"type": "eq", "fun": lambda x: x[0] + x[1] - 1, "jac": lambda x: [[1.0, 1.0]]},
            {"type": "ineq", "fun": lambda x, c: x[0] - c, "args": (0.2,)})
    r = kavro.minimize(f_and_g, [0.0, 0.0], args=(2.0,), jac=True, constraints=cons)
    assert r.success, r.message
    np.testing.assert_allclose(r.x, [0.5, 0.5], atol=1e-7)
    np.testing.assert_allclose(r.constr[0], [0.0], atol=1e-9)
    np.testing.assert_allclose(r.jac, [-3, -3], atol=1e-6)
    assert r.nfev > 0 and r.njev > 0


def test_sparse_linear_constraints_and_a_sparse_jacobian_whose_structure_changes():
    n = 50
    a = sparse.diags([np.ones(n), -np.ones(n - 1)], [0, 1], format="csr")   # x_i - x_{i+1} >= -0.1
    def c(x):
        return x[:-1] ** 2 + x[1:]
    def jac(x):
        # A zero derivative drops out of the stored entries: values are matched to the structure.
        return sparse.diags([2 * x[:-1], np.ones(n - 1)], [0, 1], shape=(n - 1, n), format="coo").tocsr()
    r = kavro.minimize(lambda x: rosen(x), np.full(n, 0.5), jac=rosen_der,
                       constraints=[LinearConstraint(a, -0.1, np.inf), NonlinearConstraint(c, -np.inf, 2.0, jac=jac)])
    assert r.success, r.message
    assert np.all(a @ r.x >= -0.1 - 1e-6) and np.all(c(r.x) <= 2 + 1e-6)


def _band_jacobian(x, form):
    n = x.size
    j = sparse.diags([2 * x[:-1], 2 * x[1:]], [0, 1], shape=(n - 1, n), format="csr")
    if form == "int64 indices":
        j = sparse.csr_matrix((j.data, j.indices.astype(np.int64), j.indptr.astype(np.int64)), shape=j.shape)
    elif form == "unsorted rows":  # each row's two entries stored last column first
        order = np.arange(j.nnz).reshape(-1, 2)[:, ::-1].ravel()
        j = sparse.csr_matrix((j.data[order], j.indices[order], j.indptr), shape=j.shape)
        assert not j.has_sorted_indices
    elif form == "csr_array":
        j = sparse.csr_array(j)
    return j


@pytest.mark.parametrize("form", ["int64 indices", "unsorted rows", "csr_array"])
def test_a_csr_jacobian_in_any_storage_gives_the_values_of_the_canonical_one(form):
    n = 30
    def solve(form):
        # Values matched to the wrong entries make a wrong Jacobian: the limit ends such a run.
        return kavro.minimize(rosen, np.full(n, 0.5), jac=rosen_der, options={"time_limit": 5},
                              constraints=NonlinearConstraint(lambda x: x[:-1] ** 2 + x[1:] ** 2, -np.inf, 1.5,
                                                              jac=lambda x: _band_jacobian(x, form)))
    canonical, other = solve("canonical"), solve(form)
    assert canonical.success, canonical.message
    np.testing.assert_array_equal(other.x, canonical.x)
    assert other.nfev == canonical.nfev


def test_an_entry_outside_the_structure_at_x0_is_an_error():
    def jac(x):
        return sparse.csr_matrix([[0.0, 1.0]]) if x[0] == 3.0 else sparse.csr_matrix([[1.0, 1.0]])
    with pytest.raises(ValueError, match="outside the structure"):
        kavro.minimize(sphere, [3.0, 3.0], jac=sphere_grad,
                       constraints=NonlinearConstraint(lambda x: [x[1] + x[0] - 3.0], -np.inf, -2, jac=jac))


def test_infeasible_and_unbounded_problems_have_their_status():
    r = kavro.minimize(sphere, [0.0, 0.0], jac=sphere_grad, bounds=[(0, 1), (0, 1)],
                       constraints=LinearConstraint([[1, 1]], 3, np.inf))
    assert (r.status, r.success) == (1, False)
    r = kavro.minimize(lambda x: -x[0] - x[1], [0.0, 0.0], jac=lambda x: [-1.0, -1.0], bounds=[(0, None), (0, None)])
    assert r.status == 2


def test_a_callback_that_raises_propagates_and_nan_shortens_the_step():
    def broken(x):
        raise ZeroDivisionError("model bug")
    with pytest.raises(ZeroDivisionError, match="model bug"):
        kavro.minimize(broken, [1.0])
    with pytest.raises(ZeroDivisionError):
        two_active(jac=lambda x: 1 / 0)
    # x - log(x) is NaN for x < 0: the long first step is shortened, the answer is x = 1.
    with np.errstate(invalid="ignore", divide="ignore"):
        r = kavro.minimize(lambda x: x[0] - np.log(x[0]), [3.0], jac=lambda x: [1 - 1 / x[0]], bounds=[(-100, 100)])
    assert r.success, r.message
    np.testing.assert_allclose(r.x, [1.0], atol=1e-6)


def test_misspelled_options_raise_and_known_ones_apply():
    with pytest.raises(ValueError, match="major_iteratoins_limit"):
        kavro.minimize(sphere, [1.0], options={"major_iteratoins_limit": 5})
    r = kavro.minimize(rosen, np.zeros(4), jac=rosen_der, options={"iterations_limit": 2, "solve_strategy": 0})
    assert r.status == 3


def test_a_maximization_written_as_minus_f():
    # max x y with x + y <= 2: minimize -x y.
    r = kavro.minimize(lambda x: -x[0] * x[1], [0.5, 0.2], jac=lambda x: [-x[1], -x[0]],
                       constraints=LinearConstraint([[1, 1]], -np.inf, 2), bounds=[(0, 5), (0, 5)])
    assert r.success, r.message
    np.testing.assert_allclose(r.x, [1, 1], atol=1e-6)
    np.testing.assert_allclose(r.fun, -1, atol=1e-9)
    np.testing.assert_allclose(r.v[0], [1.0], atol=1e-6)   # grad(-xy) + v = 0 at (1, 1)


def test_warm_start_from_a_result():
    first = two_active(jac=lambda x: [[0, 1]])
    again = kavro.minimize(sphere, [3.0, 3.0], jac=sphere_grad,
                           constraints=[LinearConstraint([[1, 0]], 1, np.inf),
                                        NonlinearConstraint(lambda x: [x[1]], -np.inf, -2, jac=lambda x: [[0, 1]])],
                           warm_start=first)
    assert again.success and again.nit <= 1
    np.testing.assert_allclose(again.x, first.x, atol=1e-9)


def test_progress_callback_stops_the_run():
    r = kavro.minimize(rosen, np.zeros(6), jac=rosen_der, callback=lambda info: info.nit >= 2)
    assert r.status == 5


def test_two_solves_on_two_threads_run_at_once():
    # Each objective waits at a barrier on its first call: if one solve held the other back, the
    # barrier would break and the solve would raise.
    barrier = threading.Barrier(2, timeout=20)
    results = [None, None]

    def solve(k):
        first = [True]
        def f(x):
            if first[0]:
                first[0] = False
                barrier.wait()
            return rosen(x) + k
        results[k] = kavro.minimize(f, np.zeros(8), jac=rosen_der)

    threads = [threading.Thread(target=solve, args=(k,)) for k in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(60)
    for k in range(2):
        assert results[k] is not None and results[k].success
        np.testing.assert_allclose(results[k].x, np.ones(8), atol=1e-5)
        np.testing.assert_allclose(results[k].fun, k, atol=1e-9)


def test_solve_nl_answers_as_the_command_does():
    import os
    path = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "hs071.nl")
    r = kavro.solve_nl(path, major_iterations_limit=100)
    assert r.success, r.message
    np.testing.assert_allclose(r.fun, 17.0140173, rtol=1e-7)
    assert len(r.x) == 4 and len(r.v[0]) == 2
    with pytest.raises(ValueError, match="major_iteratoins"):
        kavro.solve_nl(path, major_iteratoins=5)
    with pytest.raises(FileNotFoundError):
        kavro.solve_nl(path + ".missing")


@pytest.mark.parametrize("n", [2, 10, 50])
def test_rosenbrock_without_a_gradient_ends_optimal(n):
    # Differences only: the intervals suit functions computed in double precision, and the
    # certificate judges the point with central differences, not by a forward difference's error.
    x0 = np.array([-1.2, 1.0]) if n == 2 else np.full(n, -1.2)  # (the tiled start has another minimum)
    r = kavro.minimize(rosen, x0)
    assert r.success, r.message
    assert r.njev == 0 and r.nfev > n
    np.testing.assert_allclose(r.x, np.ones(n), atol=1e-5)
    assert np.max(np.abs(rosen_der(r.x))) < 2e-6
