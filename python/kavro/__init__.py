"""KAVRO from Python: large-scale sparse nonlinear optimization.

    kavro.minimize(fun, x0, ...)   SciPy's constrained minimize interface
    kavro.solve_nl(path, **options)  an AMPL .nl model, as the kavro command solves it
    kavro.solve_mps(path, specs=None, **options)  an MPS file, as the kavro command solves it
    kavro.solve_many(problems)     independent solves on a Dask cluster or local processes
    kavro.Model                    the model API (variables, linear and nonlinear constraints,
                                   second derivatives)
"""

from ._kavro import Model
from ._many import solve_many
from ._files import solve_mps, solve_nl
from ._minimize import minimize

__all__ = ["Model", "minimize", "solve_many", "solve_mps", "solve_nl"]
