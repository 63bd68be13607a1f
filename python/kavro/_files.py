"""Model files solved as the kavro command solves them: AMPL .nl models and MPS files."""

import errno
import os
import warnings

from scipy.optimize import OptimizeWarning

from . import _kavro
from ._minimize import _result
from ._options import specs_lines


def _refused_option(r):
    return r["status"] == 11 and r["message"].endswith("is not an option")


def _existing(path, what):
    path = os.fspath(path)
    if not os.path.exists(path):
        raise FileNotFoundError(errno.ENOENT, f"no such {what}", path)
    return path


def solve_nl(path, **options):
    """Solves an AMPL .nl model as the kavro command does; options as for minimize().

    Returns the OptimizeResult of minimize(), the constraints as one object: constr[0] and v[0]
    hold every constraint's value and multiplier in the file's order."""
    r = _kavro.solve_nl(_existing(path, ".nl model"), specs_lines(options))
    if _refused_option(r):
        raise ValueError(r["message"])
    return _result(r, [len(r["constraint_values"])], False)


def solve_mps(path, specs=None, print_file=None, free_mps=False, relax_integers=False, **options):
    """Solves an MPS file as `kavro --specs SPECS --print PRINT_FILE PATH` does.

    The same defaults as the command: the single specified solve unless the SPECS file or an
    option sets solve_strategy=1. specs: a SPECS file (each Begin ... End block solves the
    problem again, the answer is the last block's); options: KAVRO options with Python names,
    applied after the SPECS file's (an unknown name raises ValueError). A missing file raises
    FileNotFoundError; a file the reader refuses gives status 11 and the reader's messages.
    Options the SPECS file spells wrong are reported as an OptimizeWarning (the command goes on
    without them, and so does this).

    Returns the OptimizeResult of minimize(): x per column, constr[0] and v[0] per row (the
    objective row left out), variable_names and constraint_names as the file names them, and
    summary, the summary report the command prints."""
    path = _existing(path, "MPS file")
    specs = "" if specs is None else _existing(specs, "SPECS file")
    print_file = "" if print_file is None else os.fspath(print_file)
    r = _kavro.solve_mps(path, specs, print_file, bool(free_mps), bool(relax_integers), specs_lines(options))
    if _refused_option(r):
        raise ValueError(r["message"])
    if r["status"] != 11:
        reported = [line.strip() for line in r["summary"].splitlines() if line.startswith(" XXX")]
        if reported:
            warnings.warn(f"{path}: " + "; ".join(reported), OptimizeWarning, stacklevel=2)
    res = _result(r, [len(r["constraint_values"])], False)
    res.variable_names = r["variable_names"]
    res.constraint_names = r["constraint_names"]
    res.summary = r["summary"]
    return res
