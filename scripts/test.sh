#!/usr/bin/env bash
# Builds and runs the whole test suite. Usage: scripts/test.sh [release|asan]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
bash scripts/deps.sh
cmake --preset "$preset" >/dev/null
cmake --build "build/$preset" -j"$(nproc)"
ctest --test-dir "build/$preset" --output-on-failure -j"$(nproc)"
