#!/usr/bin/python3
"""The model families of bench/families keep their promises, and the copies in the tests are theirs.

    families_test.py NL_CERTIFY NL_CURVATURE

The small instances are generated afresh (bench/families/generate.py --small) and for each one
* the constructed answer (NAME.known.json) passes nl_certify: feasible, and stationary with the
  constructed multipliers, as the reader evaluates the written model;
* its objective there is the manifest's known objective;
* it is a minimum to second order (nl_curvature finds no negative curvature);
* tests/data/nl/families holds the same model (gzip-compressed) with the same known objective,
  so that the test data can always be written again by the generators.
"""

import gzip
import os
import subprocess
import sys
import tempfile

from checks import check, finish

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.normpath(os.path.join(here, "..", ".."))
copies = os.path.join(root, "tests", "data", "nl", "families")

def fields(line):
    f = line.rstrip("\n").split("\t")
    return dict(zip(f[0::2], f[1::2]))


def read_manifest(path):
    rows = {}
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            row = dict(zip(header, line.rstrip("\n").split("\t")))
            rows[row["model"]] = row
    return rows


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: families_test.py NL_CERTIFY NL_CURVATURE")
    certify, curvature = sys.argv[1:]
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["/usr/bin/python3", os.path.join(root, "bench", "families", "generate.py"), folder, "--small"],
                       check=True, capture_output=True)
        generated = read_manifest(os.path.join(folder, "KNOWN.tsv"))
        committed = read_manifest(os.path.join(copies, "KNOWN.tsv"))
        check(set(generated) == set(committed), "the tests hold %s, the generators write %s"
              % (sorted(committed), sorted(generated)))
        for name, row in sorted(generated.items()):
            model = os.path.join(folder, row["file"])
            known = os.path.join(folder, name + ".known.json")
            value = float(row["known_objective"])
            c = fields(subprocess.run([certify, model, known], capture_output=True, text=True, check=True).stdout)
            check(c.get("certified") == "1", "%s: the constructed answer is not certified: %s" % (name, c))
            objective = float(c.get("objective", "nan"))
            check(abs(objective - value) <= 1e-9 * max(1.0, abs(value)),
                  "%s: objective %r at the constructed answer, manifest %r" % (name, objective, value))
            v = fields(subprocess.run([curvature, model, known], capture_output=True, text=True, check=True).stdout)
            check(v.get("curvature") == "ok", "%s: the constructed answer is not a minimum: %s" % (name, v))
            if name in committed:
                with open(model, "rb") as f:
                    fresh = f.read()
                with gzip.open(os.path.join(copies, committed[name]["file"]), "rb") as f:
                    check(f.read() == fresh, "%s: tests/data/nl/families holds another model than the generator's" % name)
                check(float(committed[name]["known_objective"]) == value,
                      "%s: known objective %s in the tests, %r from the generator"
                      % (name, committed[name]["known_objective"], value))
    finish()


if __name__ == "__main__":
    main()
