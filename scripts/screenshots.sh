#!/usr/bin/env bash
# Regenerates the README's screenshots in docs/images/ from the real program,
# run in a private Xvfb: the terrain seen after turning the view down, each
# shading mode, wireframe and inverted colours; then the menu icons in
# share/icons/ from the picture of the terrain.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/install-missing.sh "${viewer_packages[@]}" "${screenshot_packages[@]}"
cmake -S . -B build/screenshots -DCMAKE_BUILD_TYPE=Release -DVELLACOR_TESTS=ON -DVELLACOR_BENCHMARKS=OFF >/dev/null
cmake --build build/screenshots --parallel "$(nproc)" --target vellacor vellacor_glut_probe
VELLACOR_BINARY="$PWD/build/screenshots/vellacor" \
VELLACOR_PROBE="$PWD/build/screenshots/tests/e2e/vellacor_glut_probe.so" \
PYTHONDONTWRITEBYTECODE=1 \
  python3 tests/e2e/take_screenshots.py "$PWD/docs/images"
scripts/make-icons.sh
