#!/usr/bin/env bash
# Builds the viewer (Release) and opens it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVELLACOR_TESTS=OFF -DVELLACOR_BENCHMARKS=OFF
cmake --build build/release --parallel --target vellacor
exec build/release/vellacor
