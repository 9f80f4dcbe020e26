#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, when missing.
set -euo pipefail
pkgs=(cmake g++ make libgtest-dev libbenchmark-dev clang libclang-rt-14-dev time gnuplot-nox gemmi gemmi-dev
      tao-pegtl-dev zlib1g-dev dssp snakemake valgrind pybind11-dev python3-dev python3-numpy)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (install them with apt-get as root)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
