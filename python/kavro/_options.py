"""Options as keyword arguments with Python names, turned into the solver's SPECS phrases."""

# SciPy's names for the options SciPy users pass to minimize().
_SCIPY_NAMES = {
    "maxiter": "major_iterations_limit",
    "ftol": "optimality_tolerance",
}
# SciPy options that have no meaning here and are accepted so that calls written for SciPy run.
_IGNORED = {"disp"}


def specs_phrase(name, value):
    """The SPECS line for option `name` (Python spelling: words joined by underscores)."""
    words = _SCIPY_NAMES.get(name, name).replace("_", " ")
    if isinstance(value, bool):
        value = "Yes" if value else "No"
    return f"{words} {value}"


def apply_options(model, options):
    """Sets every option on the model; an option the solver does not know raises ValueError."""
    for name, value in (options or {}).items():
        if name in _IGNORED:
            continue
        line = specs_phrase(name, value)
        try:
            model.set_option(line)
        except ValueError:
            raise ValueError(f"unknown option {name!r} (or a value it does not take: {value!r}); "
                             f"it reads as the SPECS line '{line}'") from None


def specs_lines(options):
    """The SPECS lines for keyword options, each checked: an unknown name raises ValueError."""
    from ._kavro import Model
    probe = Model()
    apply_options(probe, options)
    return [specs_phrase(name, value) for name, value in options.items() if name not in _IGNORED]
