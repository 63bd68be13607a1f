"""Many independent solves (a parameter sweep, a multistart) on a Dask cluster or local processes."""

import concurrent.futures
import multiprocessing

import cloudpickle
from scipy.optimize import OptimizeResult

# Statuses of a solve that did not return, as minimize's status numbers.
STATUS_RAISED = 6        # the solve raised (a callback's exception, a worker that died)
STATUS_INVALID = 11      # the problem was refused before any solve (ValueError, TypeError)
STATUS_TIME_LIMIT = 4    # not finished within solve_many's timeout


def _failed(status, error):
    return OptimizeResult(x=None, fun=None, success=False, status=status,
                          message=f"{type(error).__name__}: {error}", exception=repr(error))


def _solve_pickled(payload):
    """Runs one problem where it lands; never raises, so one failure cannot lose the others."""
    from ._minimize import minimize
    try:
        problem = cloudpickle.loads(payload)
        return minimize(**problem)
    except (ValueError, TypeError) as e:
        return _failed(STATUS_INVALID, e)
    except Exception as e:  # a user's callback may raise anything
        return _failed(STATUS_RAISED, e)


def _collect(futures, result_of, timeout):
    done, _ = concurrent.futures.wait(futures, timeout=timeout) if timeout else (set(futures), None)
    results = []
    for f in futures:
        if f not in done:
            results.append(_failed(STATUS_TIME_LIMIT, TimeoutError(f"not finished within {timeout} s")))
            continue
        try:
            results.append(result_of(f))
        except Exception as e:  # a worker process that died
            results.append(_failed(STATUS_RAISED, e))
    return results


def solve_many(problems, client=None, max_workers=None, timeout=None):
    """Solves independent problems at once and returns their results in the order given.

    Each problem is a dict of kavro.minimize's keyword arguments ({'fun': f, 'x0': x0,
    'bounds': ..., 'constraints': ...}); functions and lambdas travel by cloudpickle. With a
    dask.distributed Client the solves run on its workers; without one on a local pool of
    max_workers processes (default: the machine's cores). A solve that raises, or does not finish
    within `timeout` seconds, comes back as a result with success False, its status (6 raised,
    11 refused, 4 timed out) and the error as message: it never takes the other results with it.
    """
    payloads = [cloudpickle.dumps(dict(p)) for p in problems]
    if not payloads:
        return []
    if client is not None:
        from distributed import wait
        futures = client.map(_solve_pickled, payloads, pure=False)
        try:
            wait(futures, timeout=timeout)
        except Exception:
            pass
        results = []
        for f in futures:
            if f.status == "finished":
                results.append(f.result())
            elif f.status == "pending":
                results.append(_failed(STATUS_TIME_LIMIT, TimeoutError(f"not finished within {timeout} s")))
                f.cancel()
            else:
                results.append(_failed(STATUS_RAISED, f.exception()))
        return results
    context = multiprocessing.get_context("spawn")  # no copy of the caller's threads or locks
    with concurrent.futures.ProcessPoolExecutor(max_workers=max_workers, mp_context=context) as pool:
        futures = [pool.submit(_solve_pickled, p) for p in payloads]
        return _collect(futures, lambda f: f.result(), timeout)
