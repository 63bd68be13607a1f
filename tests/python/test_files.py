"""kavro.solve_mps and kavro.solve_nl against what the kavro command prints for the same files."""

import os
import re
import subprocess
import warnings
from pathlib import Path

import numpy as np
import pytest
from scipy.optimize import OptimizeWarning

import kavro

ROOT = Path(__file__).resolve().parents[2]
DATA = ROOT / "tests" / "data"
AFIRO = ROOT / "examples" / "afiro.mps"
COMMAND = os.environ.get("KAVRO_COMMAND")


def command(*arguments):
    """The kavro command's exit status and summary report (standard output)."""
    if not COMMAND:
        pytest.skip("KAVRO_COMMAND does not name the kavro command")
    done = subprocess.run([COMMAND, "--quiet", *map(str, arguments)], capture_output=True, text=True, timeout=120)
    return done.returncode, done.stdout


def without_times(report):
    """The report with the lines that measure time left out (they differ from run to run)."""
    return [line for line in report.splitlines() if not re.search(r"[Tt]ime|seconds", line)]


def reported(report, label):
    return [float(v) for v in re.findall(label + r"\s+(-?[0-9.]+(?:[eE][-+]?[0-9]+)?)", report)]


@pytest.mark.parametrize("specs", [None, ROOT / "examples" / "afiro.spc", DATA / "apps" / "strategy.spc"])
def test_an_mps_file_solves_as_the_command_solves_it(specs):
    status, printed = command(*(["--specs", specs] if specs else []), AFIRO)
    r = kavro.solve_mps(AFIRO, specs=specs)
    assert status == 0 and r.success and r.status == 0, r.message
    assert without_times(r.summary) == without_times(printed)
    assert r.fun == pytest.approx(reported(printed, "Objective value")[-1], rel=1e-9)
    assert r.nit == reported(printed, "No. of iterations")[-1]
    assert r.message == "optimal: optimal solution found"
    assert r.certificate["passed"]
    # The file's numbering: a value per column, a row value and multiplier per constraint.
    assert len(r.x) == len(r.variable_names) == 32
    assert len(r.constr[0]) == len(r.v[0]) == len(r.constraint_names) == 27
    assert "COST" not in r.constraint_names


def test_keyword_options_are_applied_after_the_specs_file():
    r = kavro.solve_mps(AFIRO, specs=DATA / "apps" / "two_runs.spc", iterations_limit=1000)
    assert r.success, r.message  # the file's second block allows one iteration
    limited = kavro.solve_mps(AFIRO, specs=DATA / "apps" / "two_runs.spc")
    status, printed = command("--specs", DATA / "apps" / "two_runs.spc", AFIRO)
    assert status == 1 and limited.status == 3 and limited.message.endswith("too many iterations")
    assert without_times(limited.summary) == without_times(printed)


def test_infeasible_and_broken_files():
    status, printed = command(DATA / "apps" / "infeasible.mps")
    r = kavro.solve_mps(DATA / "apps" / "infeasible.mps")
    assert status == 1 and r.status == 1 and not r.success
    assert "EXIT -- the problem is infeasible" in printed and r.message.endswith(": the problem is infeasible")
    np.testing.assert_allclose(r.x, [2, 2])
    status, printed = command(DATA / "apps" / "broken.mps")
    r = kavro.solve_mps(DATA / "apps" / "broken.mps")
    assert status == 2 and r.status == 11 and len(r.x) == 0
    assert "Illegal row type at line      4     Q  BAD" in r.message


def test_misspelled_options():
    with pytest.raises(ValueError, match="iteratoins_limit"):
        kavro.solve_mps(AFIRO, iteratoins_limit=5)
    # In a SPECS file the command names the line and solves without it; so does solve_mps, with
    # a warning.
    specs = DATA / "python" / "misspelled.spc"
    status, printed = command("--specs", specs, AFIRO)
    with pytest.warns(OptimizeWarning, match="ITERATOINS"):
        r = kavro.solve_mps(AFIRO, specs=specs)
    assert status == 0 and r.success
    assert without_times(r.summary) == without_times(printed)


def test_paths_that_cannot_be_used(tmp_path):
    with pytest.raises(FileNotFoundError):
        kavro.solve_mps(tmp_path / "missing.mps")
    with pytest.raises(FileNotFoundError):
        kavro.solve_mps(AFIRO, specs=tmp_path / "missing.spc")
    with pytest.raises(FileNotFoundError):
        kavro.solve_nl(tmp_path / "missing.nl")
    assert kavro.solve_mps(tmp_path).status == 11  # a folder
    # A print file on the problem file is refused before anything is written.
    copy = tmp_path / "afiro.mps"
    copy.write_bytes(AFIRO.read_bytes())
    r = kavro.solve_mps(copy, print_file=copy)
    assert r.status == 11 and "problem file" in r.message
    assert copy.read_bytes() == AFIRO.read_bytes()
    printed = tmp_path / "afiro.print"
    assert kavro.solve_mps(copy, print_file=printed).success
    assert "EXIT -- optimal solution found" in printed.read_text()
