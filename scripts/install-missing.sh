#!/usr/bin/env bash
# Usage: scripts/install-missing.sh PACKAGE...
#
# Installs those of the given Debian packages that are not installed yet, all
# in one apt-get call, so that either all of them are installed or none is.
# A name without an architecture means the machine's own (as for apt-get);
# NAME:ARCH asks for that architecture. Nothing missing: nothing is run, not
# even `apt-get update`.
#
# As root it runs apt-get itself; otherwise through sudo, when sudo is there
# and lets this user run commands as root. When neither holds (a Debian
# install given a root password has no sudo) it installs nothing: it names
# the missing packages and the one command that installs them, and exits
# with status 1, so that the calling script stops before it builds anything.
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 PACKAGE..." >&2
  exit 2
fi

native_arch=$(dpkg --print-architecture)

is_installed() {
  local name=$1 wanted=$native_arch
  if [[ $name == *:* ]]; then
    wanted=${name##*:}
    name=${name%:*}
  fi
  # One line per installed architecture; architecture-independent packages
  # are "all".
  dpkg-query -W -f='${db:Status-Status} ${Architecture}\n' "$name" 2>/dev/null \
    | grep -qx -e "installed $wanted" -e "installed all"
}

missing=()
declare -A listed=()
for package in "$@"; do
  if [ -z "${listed[$package]:-}" ] && ! is_installed "$package"; then
    missing+=("$package")
  fi
  listed[$package]=1
done
[ ${#missing[@]} -eq 0 ] && exit 0

install_command="apt-get update && apt-get install --no-install-recommends ${missing[*]}"

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  reason=""
  if ! command -v sudo >/dev/null 2>&1; then
    reason="sudo is not installed"
  elif ! sudo -v; then
    reason="sudo does not let $(id -un) run commands as root"
  fi
  if [ -n "$reason" ]; then
    cat >&2 <<EOF
These Debian packages are missing: ${missing[*]}
Installing them needs root, and $reason. Nothing was installed or built.
Install them as root with this one command (it asks for the root password),
then run the same command again:

  su -c '$install_command'
EOF
    exit 1
  fi
  as_root=(sudo)
fi

echo "Installing: ${missing[*]}"
# A freshly booted machine may still be running its own apt jobs: wait for
# their lock instead of failing at once.
apt_options=(-q -o DPkg::Lock::Timeout=300)
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" install -y --no-install-recommends \
  "${missing[@]}"
