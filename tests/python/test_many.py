"""kavro.solve_many: independent solves on a Dask cluster and on local processes."""

import numpy as np
import pytest
from scipy.optimize import rosen, rosen_der

import kavro


def shifted_problem(k):
    # Rosenbrock with its minimum moved to (1 + k/10, ...): each solve has its own answer.
    shift = k / 10.0
    return {"fun": lambda x: rosen(x - shift), "jac": lambda x: rosen_der(x - shift), "x0": np.zeros(4),
            "bounds": [(-5, 5)] * 4}


def raising(x):
    raise RuntimeError("broken model")


def test_twenty_solves_on_a_local_dask_cluster_match_serial_solves():
    distributed = pytest.importorskip("distributed")
    problems = [shifted_problem(k) for k in range(20)]
    serial = [kavro.minimize(**p) for p in problems]
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False, protocol="tcp", host="127.0.0.1",
                                  dashboard_address=None, silence_logs=40) as cluster, \
            distributed.Client(cluster, timeout="60s") as client:
        results = kavro.solve_many(problems, client=client, timeout=120)
    assert len(results) == 20
    for k, (a, b) in enumerate(zip(results, serial)):
        assert a.success and b.success
        np.testing.assert_allclose(a.x, b.x, rtol=0, atol=1e-12)
        np.testing.assert_allclose(a.x, np.full(4, 1 + k / 10), atol=1e-5)


def test_a_failed_solve_is_a_result_and_the_others_come_back_in_order():
    problems = [shifted_problem(0), {"fun": raising, "x0": [1.0]}, {"fun": rosen, "x0": [0.0], "nonsense": 1},
                shifted_problem(3)]
    results = kavro.solve_many(problems, max_workers=2, timeout=120)
    assert [r.success for r in results] == [True, False, False, True]
    assert results[1].status == 6 and "broken model" in results[1].message
    assert results[2].status == 11
    np.testing.assert_allclose(results[3].x, np.full(4, 1.3), atol=1e-5)
