#!/usr/bin/env bash
# scripts/install-missing.sh decides what to install and how without
# touching the system: apt-get and sudo are stand-ins that log their
# arguments, first on PATH. The user without root and without sudo is run
# for real as `nobody` when this runs as root, else as the caller.
# Usage: install_missing_test.sh PATH_TO_INSTALL_MISSING
set -euo pipefail

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
cp "$1" "$work/install-missing.sh"
mkdir "$work/bin" "$work/sudo-bin"
# Only the tools the script runs: no sudo anywhere on these paths.
for tool in bash dpkg dpkg-query grep id cat env; do
  ln -s "$(command -v "$tool")" "$work/bin/$tool"
done
cat >"$work/bin/apt-get" <<EOF
#!/bin/sh
echo "apt-get \$*" >>"$work/log"
EOF
chmod 755 "$work/bin/apt-get"
no_root_path=$work/bin

failures=0
fail() {
  echo "FAIL: $1" >&2
  failures=$((failures + 1))
}

# Runs the script with PATH and ARGS, as root or as a plain user; sets
# status, output (stdout and stderr) and log (the stand-ins' calls).
run() {
  local path=$1 user=$2
  shift 2
  local as_user=()
  if [ "$user" = plain ] && [ "$(id -u)" -eq 0 ]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  : >"$work/log"
  chmod 666 "$work/log"
  status=0
  output=$(cd "$work" && "${as_user[@]}" env -i PATH="$path" bash ./install-missing.sh "$@" 2>&1) || status=$?
  log=$(cat "$work/log")
}

absent=vellacor-test-no-such-package

# Everything installed (dpkg and bash always are): nothing runs, not even
# apt-get update.
run "$no_root_path" root dpkg bash
[ "$status" -eq 0 ] && [ -z "$output" ] && [ -z "$log" ] || fail "all installed: status $status, output '$output', apt-get '$log'"

# No root, no sudo: the missing package and the command, status 1, no apt-get.
run "$no_root_path" plain dpkg "$absent"
expected_command="su -c 'apt-get update && apt-get install --no-install-recommends $absent'"
[ "$status" -eq 1 ] || fail "no sudo: status $status, expected 1"
grep -qF "These Debian packages are missing: $absent" <<<"$output" || fail "no sudo: missing list not in '$output'"
grep -qF "sudo is not installed" <<<"$output" || fail "no sudo: reason not in '$output'"
grep -qF "$expected_command" <<<"$output" || fail "no sudo: command not in '$output'"
[ -z "$log" ] || fail "no sudo: apt-get ran: $log"

# A sudo that refuses this user: the same refusal, with that reason.
cp -P "$work"/bin/* "$work/sudo-bin/"
printf '#!/bin/sh\nexit 1\n' >"$work/sudo-bin/sudo"
chmod 755 "$work/sudo-bin/sudo"
run "$work/sudo-bin" plain "$absent"
[ "$status" -eq 1 ] && grep -qF "sudo does not let" <<<"$output" && [ -z "$log" ] \
  || fail "refusing sudo: status $status, output '$output', apt-get '$log'"

# A sudo that lets the user in: apt-get through it, only for what is missing.
cat >"$work/sudo-bin/sudo" <<EOF
#!/bin/sh
[ "\$1" = "-v" ] && exit 0
echo "sudo \$*" >>"$work/log"
exec "\$@"
EOF
run "$work/sudo-bin" plain dpkg "$absent" "$absent"
[ "$status" -eq 0 ] || fail "with sudo: status $status, output '$output'"
grep -q "^sudo env DEBIAN_FRONTEND=noninteractive apt-get .* update$" <<<"$log" || fail "with sudo: no update through sudo in '$log'"
grep -q "^apt-get .* install -y --no-install-recommends $absent$" <<<"$log" || fail "with sudo: install line wrong in '$log'"

# As root: apt-get directly.
if [ "$(id -u)" -eq 0 ]; then
  run "$no_root_path" root bash "$absent"
  [ "$status" -eq 0 ] && ! grep -q "^sudo" <<<"$log" \
    && grep -q "^apt-get .* install -y --no-install-recommends $absent$" <<<"$log" \
    || fail "as root: status $status, apt-get '$log'"
else
  echo "not root: the root case is not run"
fi

[ "$failures" -eq 0 ] && echo "install-missing.sh: all cases passed"
exit "$failures"
