#!/usr/bin/python3
"""Writes the standard set of every family into a folder, with its manifest KNOWN.tsv.

    generate.py DIR [--small] [NAME_PREFIX...]

DIR/KNOWN.tsv lists model, file, n, m, known objective, whether the model is convex (the known
point is then its global minimum), family and a note; every model also gets NAME.known.json, the
constructed answer (see family_common.py). --small writes only the instances small enough for the
tests (tests/data/nl/families holds copies of those); NAME_PREFIX keeps the models whose name
starts with one of the prefixes.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from family_common import MANIFEST_HEADER, save  # noqa: E402
import chained_rosenbrock  # noqa: E402
import convex_coupled  # noqa: E402
import degenerate_disks  # noqa: E402
import least_squares  # noqa: E402
import optimal_control  # noqa: E402

# (builder, arguments, small): the sizes the issues name, and the small ones for the tests.
STANDARD = [
    (degenerate_disks.build, (100, "linear", "free"), True),
    (degenerate_disks.build, (100, "linear", "box"), False),
    (degenerate_disks.build, (100, "quadratic", "free"), True),
    (degenerate_disks.build, (100, "linear", "free", "zero", 300, 10), True),
    (degenerate_disks.build, (100, "quadratic", "free", "zero", 100), False),
    (degenerate_disks.build, (500, "linear", "free"), False),
    (degenerate_disks.build, (500, "linear", "box"), False),
    (degenerate_disks.build, (500, "quadratic", "free"), False),
    (degenerate_disks.build, (500, "linear", "free", "zero", 10), False),
    (degenerate_disks.build, (500, "linear", "free", "zero", 100), False),
    (degenerate_disks.build, (2500, "linear", "free"), False),
    (chained_rosenbrock.build, (10,), True),
    (chained_rosenbrock.build, (100,), True),
    (chained_rosenbrock.build, (1000,), False),
    (chained_rosenbrock.build, (5000,), False),
    (chained_rosenbrock.build, (100, "near"), False),
    (chained_rosenbrock.build, (10, "classic", "pairs"), True),
    (chained_rosenbrock.build, (100, "classic", "pairs"), True),
    (chained_rosenbrock.build, (1000, "classic", "pairs"), False),
    (chained_rosenbrock.build, (5000, "classic", "pairs"), False),
    (optimal_control.build, (100,), True),
    (optimal_control.build, (1000,), False),
    (optimal_control.build, (5000,), False),
    (convex_coupled.build, (2000,), False),
    (convex_coupled.build, (20000,), False),
    (convex_coupled.build, (20000, None, None, 0.002), False),
    (least_squares.build, (5000,), False),
    (least_squares.build, (20000,), False),
]


def main():
    args = sys.argv[1:]
    small = "--small" in args
    args = [a for a in args if a != "--small"]
    if not args:
        sys.exit(__doc__.split("\n\n")[1])
    folder, prefixes = args[0], args[1:]
    os.makedirs(folder, exist_ok=True)
    lines = [MANIFEST_HEADER]
    for build, arguments, is_small in STANDARD:
        if small and not is_small:
            continue
        instance = build(*arguments)
        if prefixes and not any(instance.name.startswith(p) for p in prefixes):
            continue
        lines.append(save(instance, folder))
        print(lines[-1], flush=True)
    with open(os.path.join(folder, "KNOWN.tsv"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
