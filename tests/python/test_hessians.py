"""Second derivatives from Python: hess= and hessp= of minimize, NonlinearConstraint.hess and
the Model class's Hessian callbacks."""

import numpy as np
import pytest
from scipy import sparse
from scipy.optimize import BFGS, NonlinearConstraint, OptimizeWarning, rosen, rosen_der, rosen_hess, rosen_hess_prod
from scipy.sparse.linalg import aslinearoperator

import kavro

EXACT = {"hessian_option": 1}


def rosen_start(n=50):
    x0 = np.full(n, -1.2)
    x0[1::2] = 1.0
    return x0


@pytest.fixture(scope="module")
def rosen_without():
    r = kavro.minimize(rosen, rosen_start(), jac=rosen_der, options=EXACT)
    assert r.success, r.message
    assert r.nhev == 0
    return r


@pytest.mark.parametrize("form", [
    {"hess": rosen_hess},
    {"hess": lambda x: sparse.csr_matrix(rosen_hess(x))},
    {"hess": lambda x: aslinearoperator(rosen_hess(x))},
    {"hessp": rosen_hess_prod},
], ids=["dense", "sparse", "linear-operator", "hessp"])
def test_rosenbrock_50_same_optimum_in_fewer_iterations(form, rosen_without):
    r = kavro.minimize(rosen, rosen_start(), jac=rosen_der, options=EXACT, **form)
    assert r.success, r.message
    np.testing.assert_allclose(r.x, rosen_without.x, atol=1e-6)
    assert r.fun == pytest.approx(rosen_without.fun, abs=1e-10)
    assert r.nhev > 0
    # 91 against 231 when this was written.
    assert r.nit < rosen_without.nit


def circle(hess):
    """min (x0 - 2)^2 + (x1 - 2)^2 with x0^2 + x1^2 <= 2: (1, 1), multiplier 1."""
    return kavro.minimize(lambda x: float((x - 2) @ (x - 2)), [0.2, 0.1], jac=lambda x: 2 * (x - 2),
                          hess=lambda x: 2 * np.eye(2), options=EXACT,
                          constraints=NonlinearConstraint(lambda x: [x @ x], -np.inf, 2.0,
                                                          jac=lambda x: [2 * x], hess=hess))


def test_constraint_hessians_get_the_multipliers_the_result_reports():
    seen = []

    def hess(x, v):
        seen.append(np.array(v))
        return sparse.diags([2 * v[0], 2 * v[0]])

    r = circle(hess)
    assert r.success, r.message
    np.testing.assert_allclose(r.x, [1, 1], atol=1e-7)
    np.testing.assert_allclose(r.v[0], [1.0], atol=1e-5)
    assert r.nhev > 0 and seen
    np.testing.assert_allclose(seen[-1], r.v[0], atol=1e-4)


def test_a_constraint_without_a_hessian_leaves_the_curvature_to_the_quasi_newton_model():
    with pytest.warns(OptimizeWarning, match="no callable hess"):
        r = circle(BFGS())
    assert r.success, r.message
    np.testing.assert_allclose(r.x, [1, 1], atol=1e-7)
    assert r.nhev == 0


def test_bad_hessians_are_named():
    with pytest.raises(ValueError, match="hess must be callable"):
        kavro.minimize(rosen, rosen_start(4), jac=rosen_der, hess=5)
    with pytest.raises(ValueError, match=r"shape \(3, 3\) for 4 variables"):
        kavro.minimize(rosen, rosen_start(4), jac=rosen_der, hess=lambda x: np.eye(3), options=EXACT)


def test_a_raising_hessp_propagates():
    def hessp(x, p):
        raise ZeroDivisionError("no curvature")
    with pytest.raises(ZeroDivisionError, match="no curvature"):
        kavro.minimize(rosen, rosen_start(4), jac=rosen_der, hessp=hessp, options=EXACT)


def circle_model():
    m = kavro.Model()
    m.add_variables(np.full(2, -5.0), np.full(2, 5.0), np.array([0.2, 0.1]))
    m.set_objective(lambda x, g: (float((x - 2) @ (x - 2)), 2 * (x - 2)) if g else float((x - 2) @ (x - 2)), True)
    m.add_nonlinear(np.array([-1e20]), np.array([2.0]),
                    lambda x, j: ([x @ x], 2 * x) if j else [x @ x], True, np.zeros(2, np.int32),
                    np.arange(2, dtype=np.int32))
    m.set_option("Hessian option 1")
    return m


def test_model_class_takes_the_lower_triangle_and_refuses_the_upper():
    m = circle_model()
    with pytest.raises(ValueError, match="above the diagonal"):
        m.set_hessian(np.array([0, 0], np.int32), np.array([0, 1], np.int32), lambda x, s, lam: [1.0, 1.0])
    # (1, 1) in two halves: repeats are summed.
    m.set_hessian(np.array([0, 1, 1], np.int32), np.array([0, 1, 1], np.int32),
                  lambda x, s, lam: np.array([2 * s + 2 * lam[0], s + lam[0], s + lam[0]]))
    r = m.solve()
    assert r["status"] == 0, r["message"]
    np.testing.assert_allclose(r["x"], [1, 1], atol=1e-7)
    assert r["hessian_calls"] > 0
