#!/usr/bin/env bash
# Makes the menu icons from the program's own rendering: a square cut from
# the README's picture of the default terrain (docs/images/terrain.png, taken
# by scripts/screenshots.sh) around the cliff between the set's dark basin and
# the sky, scaled to each size of the hicolor theme. The PNGs carry no
# timestamps, so the same picture always gives the same files.
set -euo pipefail
cd "$(dirname "$0")/.."
app_id=org.vellacor.vellacor
source=docs/images/terrain.png
for size in 16 24 32 48 64 128 256; do
  directory=share/icons/hicolor/${size}x${size}/apps
  mkdir -p "$directory"
  convert "$source" -crop 320x320+160+40 +repage -resize "${size}x${size}" \
    -strip -define png:exclude-chunks=date,time "$directory/$app_id.png"
  echo "wrote $directory/$app_id.png"
done
