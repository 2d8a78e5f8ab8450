#!/usr/bin/env bash
# Builds everything with warnings as errors and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Release -DVELLACOR_WERROR=ON -DVELLACOR_TESTS=ON
cmake --build build/test --parallel "$jobs"
ctest --test-dir build/test --output-on-failure --parallel "$jobs"
