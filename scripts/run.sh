#!/usr/bin/env bash
# Builds the viewer (Release) and opens it. Installs first what building and
# running it need and is missing, nothing for the tests (scripts/packages.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/install-missing.sh "${viewer_packages[@]}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVELLACOR_TESTS=OFF -DVELLACOR_BENCHMARKS=OFF
cmake --build build/release --parallel --target vellacor
exec build/release/vellacor
