"""Shared by the model families: the known answer of a generated model and where it is written.

Every family builds its model from constructed optimality data (a point x*, multipliers y* of
the rows, multipliers z* of the active bounds) and returns an Instance. `save` writes

    DIR/NAME.nl            the model (text .nl, bench/nl_writer.py)
    DIR/NAME.known.json    the constructed answer in the layout of `kavro --solution`
                           (objective, every column's level, every row's marginal), so that
                           `nl_certify DIR/NAME.nl DIR/NAME.known.json` checks the construction
                           itself with the reader's own evaluator

and returns the manifest line (see MANIFEST_HEADER).

Multipliers follow the optimizer's convention, the one nl_certify checks: with sigma = 1 for
minimization, sigma grad f(x*) - J(x*)' y* = z*, where z*_j >= 0 at a lower bound, <= 0 at an
upper bound and 0 between them; y_i <= 0 on a row at its upper limit, >= 0 at its lower limit.
"""

import json
import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import nl_writer  # noqa: E402,F401  (re-exported for the families)

MANIFEST_HEADER = "model\tfile\tn\tm\tknown_objective\tconvex\tfamily\tnote"


class Instance:
    def __init__(self, name, family, model, x, y, objective, convex, note=""):
        self.name, self.family, self.model = name, family, model
        self.x, self.y = x, y  # the constructed answer, in the model's creation order
        self.objective = objective
        self.convex = convex  # True: the known point is the global minimum of a convex model
        self.note = note


def save(instance, folder):
    m = instance.model
    path = os.path.join(folder, instance.name + ".nl")
    layout = m.write(path)
    rows = [0.0] * m.m
    for i, yi in enumerate(instance.y):
        rows[layout.row[i]] = yi
    answer = {"objective": instance.objective,
              "columns": [{"level": v} for v in layout.to_file_order(instance.x)],
              "rows": [{"marginal": v} for v in rows]}
    with open(os.path.join(folder, instance.name + ".known.json"), "w") as f:
        json.dump(answer, f)
    return "%s\t%s\t%d\t%d\t%r\t%s\t%s\t%s" % (
        instance.name, instance.name + ".nl", m.n, m.m, float(instance.objective),
        "yes" if instance.convex else "no", instance.family, instance.note)


def main(build, argv, usage):
    """The command line of a family script: its own arguments go to build(), which returns an
    Instance; the model is written to --out (default: the working folder) and its manifest
    line printed."""
    args = list(argv)
    folder = "."
    if "--out" in args:
        k = args.index("--out")
        folder = args[k + 1]
        del args[k:k + 2]
    try:
        instance = build(*args)
    except (TypeError, ValueError) as e:
        sys.exit("%s\n(%s)" % (usage, e))
    os.makedirs(folder, exist_ok=True)
    print(save(instance, folder))


def fsum(values):
    return math.fsum(values)
