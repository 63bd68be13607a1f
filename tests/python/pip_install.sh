#!/bin/sh
# The install route the README gives: a virtual environment that sees Debian's packages, the
# built package installed into it by pip without any download, then kavro imported and used from
# outside the build tree. The package is copied first, so that pip's build files never land in
# the build tree that the other tests import from.
# Usage: pip_install.sh PYTHON BUILT_PACKAGE_DIR   (exit 77: skipped, venv or pip missing)
set -eu
python=$1
package=$2
if ! "$python" -c "import setuptools, wheel, venv" 2>/dev/null || ! "$python" -m pip --version >/dev/null 2>&1; then
  echo "pip install test skipped: python3-venv, python3-pip, python3-setuptools or python3-wheel is missing (scripts/install-deps.sh installs them)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/source"
cp -R "$package/kavro" "$package/pyproject.toml" "$work/source/"
rm -rf "$work/source/kavro/__pycache__"
# Without a pip of its own (ensurepip would double the time): Debian's pip, run by the
# environment's interpreter, installs into the environment.
"$python" -m venv --system-site-packages --without-pip "$work/env"
"$work/env/bin/python" -m pip install --quiet --no-build-isolation --no-index --no-cache-dir "$work/source"
cd "$work"
env -u PYTHONPATH "$work/env/bin/python" - "$work/env" <<'PY'
import sys
import numpy as np
import kavro
assert kavro.__file__.startswith(sys.argv[1]), f"kavro imported from {kavro.__file__}, not the environment"
r = kavro.minimize(lambda x: float((x - 3.0) @ (x - 3.0)), np.zeros(3), jac=lambda x: 2 * (x - 3.0),
                   bounds=[(None, 2.0)] * 3)
assert r.success, r.message
assert np.allclose(r.x, 2.0), r.x
print("kavro installed by pip into", sys.argv[1], "solves:", r.message)
PY
