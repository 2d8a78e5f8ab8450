#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need,
# only those that are missing. As root it calls apt-get directly, otherwise
# through sudo. Nothing but Debian packages is downloaded.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgl1-mesa-dev libglu1-mesa-dev freeglut3-dev libgl1-mesa-dri
  libgtest-dev libgmock-dev libbenchmark-dev libhwy-dev
  python3 xvfb xauth xdotool apitrace x11-apps x11-utils imagemagick
  clang-14 libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
