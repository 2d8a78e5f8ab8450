#!/usr/bin/env bash
# Installs those of the given Debian packages (NAME or NAME:ARCH) that are not
# installed yet, and nothing else. As root through apt-get, otherwise through
# sudo; without either it prints the command to run and fails.
set -euo pipefail

missing=()
for package in "$@"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

install=(apt-get install -y -q --no-install-recommends "${missing[@]}")
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "missing packages; as root, run: apt-get update && ${install[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive "${install[@]}"
