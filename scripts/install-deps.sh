#!/usr/bin/env bash
# Installs the Debian packages KAVRO builds with, when they are missing (the Python ones are for
# the kavro Python package and its tests, built for Debian's /usr/bin/python3).
set -euo pipefail
packages=(cmake ninja-build g++ clang libblas-dev zlib1g-dev libgtest-dev libbenchmark-dev nlohmann-json3-dev
          pybind11-dev python3-pybind11 python3-numpy python3-scipy python3-distributed python3-pytest
          python3-venv python3-pip python3-setuptools python3-wheel)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
