#!/usr/bin/env bash
# Usage: test-package.sh [BUILD_DIR [ARCHITECTURE]]
#
# Without arguments: the packages of the test command's build trees, that of
# build/test and, on x86-64, that of the arm64 cross build in build/arm64
# (unless VELLACOR_SKIP_ARM64 is set, as for scripts/test-arm64.sh).
#
# Makes the Debian package in a configured build tree (`cpack -G DEB`) and
# checks it as a Debian packager would: lintian without errors or warnings,
# the file name, control fields and contents, Depends covering every library
# the program links, the desktop entry, AppStream data and icons validated,
# the manual page rendered with warnings on, one version throughout, and
# `cmake --install` into a fresh prefix giving the same files. Then the
# program extracted from the package runs in a private Xvfb up to its first
# frame and quits on Escape with status 0. ARCHITECTURE (default: this
# machine's) is the Debian architecture the build tree is for; a foreign
# one's program runs under qemu-user with that architecture's libraries.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  dpkg-dev            # dpkg-shlibdeps (Depends), dpkg-parsechangelog, dpkg-architecture
  lintian             # Debian's own package checks
  desktop-file-utils  # desktop-file-validate
  appstream           # appstreamcli validate
  man-db groff        # man --warnings, groff -ww
  file binutils       # the binary's type and sections
  imagemagick         # identify: icon sizes
  xvfb xdotool g++    # the packaged program run to its first frame, with the probe
)
scripts/install-missing.sh "${packages[@]}"

if [ $# -eq 0 ]; then
  "$0" build/test
  if [ "$(dpkg --print-architecture)" = amd64 ] && [ -z "${VELLACOR_SKIP_ARM64:-}" ]; then
    "$0" build/arm64 arm64
  fi
  exit 0
fi
build=$1
arch=${2:-$(dpkg --print-architecture)}
app_id=org.vellacor.vellacor
started=$(date +%s)

fail() {
  echo "test-package: FAILED: $*" >&2
  exit 1
}

scratch=$(mktemp -d)
xvfb_pid=
viewer_pid=
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

# How to build the probe for, and run a program of, the package's architecture.
if [ "$arch" = "$(dpkg --print-architecture)" ]; then
  compiler=g++
  emulator=()
  first_frame_timeout=60
else
  gnu_type=$(dpkg-architecture -a "$arch" -qDEB_HOST_GNU_TYPE 2>/dev/null)
  gnu_cpu=$(dpkg-architecture -a "$arch" -qDEB_HOST_GNU_CPU 2>/dev/null)
  # The cross compiler for the probe, the emulator, and Mesa's software
  # renderer of that architecture (the package's own Depends are installed
  # already: the cross build linked against them).
  scripts/install-missing.sh "g++-$gnu_type" qemu-user "libgl1-mesa-dri:$arch"
  compiler=$gnu_type-g++
  emulator=("qemu-$gnu_cpu")
  first_frame_timeout=180
fi

# --- the package ---------------------------------------------------------------

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
cmake --build "$build" --parallel 2 --target vellacor vellacor_docs >/dev/null
rm -f "$build"/vellacor_*.deb
(cd "$build" && cpack -G DEB >"$scratch/cpack.log") || { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$build/vellacor_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $deb; cpack made: $(ls "$build"/*.deb 2>/dev/null)"
echo "test-package: $deb, $(stat -c %s "$deb") bytes"
dpkg-deb --info "$deb"

# Errors and warnings fail; info and pedantic tags are shown.
lintian --fail-on error,warning --info --pedantic "$deb" || fail "lintian"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = vellacor ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
(cd "$root" && find . -type f | sort) >"$scratch/contents"
{
  echo ./usr/bin/vellacor
  echo ./usr/share/applications/$app_id.desktop
  echo ./usr/share/doc/vellacor/changelog.gz
  echo ./usr/share/doc/vellacor/copyright
  for size in 16 24 32 48 64 128 256; do
    echo ./usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
  done
  echo ./usr/share/man/man1/vellacor.1.gz
  echo ./usr/share/metainfo/$app_id.metainfo.xml
} | sort >"$scratch/expected"
diff -u "$scratch/expected" "$scratch/contents" || fail "package contents"

# Depends, from dpkg-shlibdeps: every library the program needs names the
# package that holds it for the package's architecture.
binary=$root/usr/bin/vellacor
depends=$(field Depends)
depended=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/ //g')
multiarch=$(dpkg-architecture -a "$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
for soname in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  owner=$(dpkg -S "*/$multiarch/$soname" 2>/dev/null | sed -n "s/^\([^:,]*\)\(:$arch\)\?: .*/\1/p" | head -n 1)
  [ -n "$owner" ] || fail "no installed $arch package holds $soname"
  grep -qxF "$owner" <<<"$depended" || fail "Depends lacks $owner (for $soname): $depends"
done
file "$binary" | grep -q ', stripped' || fail "not stripped: $(file "$binary")"
! readelf -S "$binary" | grep -Eq ' \.(comment|note) ' || fail "the binary keeps .comment or .note"

# --- menu entry, icons, AppStream data -------------------------------------------

desktop=$root/usr/share/applications/$app_id.desktop
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
[ -z "$report" ] || fail "desktop-file-validate: $report"
grep -qx "Icon=$app_id" "$desktop" || fail "the desktop entry's Icon= is not $app_id"
for icon in "$root"/usr/share/icons/hicolor/*/apps/$app_id.png; do
  size=$(basename "$(dirname "$(dirname "$icon")")")
  [ "$(identify -format '%wx%h' "$icon")" = "$size" ] || fail "$icon is not $size"
done

metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
# The whole tree: the metainfo file and the desktop entry and icons it names.
report=$(appstreamcli validate-tree --no-net --pedantic --strict "$root" 2>&1) || fail "appstreamcli: $report"
! grep -Eq '^[EWIP]: ' <<<"$report" || fail "appstreamcli: $report"
report=$(appstreamcli validate --no-net --pedantic --strict "$metainfo" 2>&1) || fail "appstreamcli: $report"
! grep -Eq '^[EWIP]: ' <<<"$report" || fail "appstreamcli: $report"

# --- manual page, changelog, one version -------------------------------------------

manual=$root/usr/share/man/man1/vellacor.1.gz
report=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$manual" 2>&1 >"$scratch/manual.txt")
[ -z "$report" ] || fail "man: $report"
report=$(zcat "$manual" | groff -ww -z -man 2>&1)
[ -z "$report" ] || fail "groff: $report"
for section in NAME SYNOPSIS DESCRIPTION CONTROLS 'EXIT STATUS' ENVIRONMENT FILES; do
  grep -qx "$section" "$scratch/manual.txt" || fail "the manual page has no $section section"
done
grep -q "Vellacor $version" "$scratch/manual.txt" || fail "the manual page's footer does not name $version"

zcat "$root/usr/share/doc/vellacor/changelog.gz" >"$scratch/changelog"
logged=$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)
[ "$logged" = "$version" ] || fail "the changelog's latest entry is $logged, not $version"
released=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
[ "$released" = "$version" ] || fail "the AppStream data's latest release is $released, not $version"

# --- cmake --install into another prefix gives the same files ------------------------

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
(cd "$scratch/prefix" && find . -type f | sed 's|^\./|./usr/|' | sort) >"$scratch/installed"
diff -u "$scratch/expected" "$scratch/installed" || fail "cmake --install --prefix"

# --- the packaged program, run to its first frame ----------------------------------

"$compiler" -shared -fPIC -O1 -o "$scratch/probe.so" tests/e2e/glut_probe.cpp -ldl

# Xvfb writes its display number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$scratch/display" \
  >/dev/null 2>&1 &
xvfb_pid=$!
wait_for() {  # SECONDS WHAT COMMAND...: polls COMMAND until it succeeds
  local deadline=$(($(date +%s) + $1)) what=$2
  shift 2
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "timed out waiting for $what"
    sleep 0.1
  done
}
wait_for 30 "Xvfb" test -s "$scratch/display"
export DISPLAY=:$(head -n 1 "$scratch/display")

# The probe is preloaded into the program only, never into the emulator.
if [ ${#emulator[@]} -eq 0 ]; then
  launch=(env "LD_PRELOAD=$scratch/probe.so" "$binary")
else
  launch=("${emulator[@]}" -E "LD_PRELOAD=$scratch/probe.so" "$binary")
fi
VELLACOR_PROBE_LOG=$scratch/probe.log "${launch[@]}" >"$scratch/stdout" 2>"$scratch/stderr" </dev/null &
viewer_pid=$!
first_frame() {
  kill -0 "$viewer_pid" 2>/dev/null || fail "the packaged program ended: $(cat "$scratch/stderr")"
  grep -qx 'frame 1' "$scratch/probe.log" 2>/dev/null
}
wait_for "$first_frame_timeout" "the packaged program's first frame" first_frame
[ "$(head -n 1 "$scratch/stdout")" = Vellacor ] || fail "console: $(cat "$scratch/stdout")"
[ "$(wc -l <"$scratch/stdout")" -eq 13 ] || fail "console: $(cat "$scratch/stdout")"

window=$(xdotool search --name '^Vellacor$' | head -n 1)
[ -n "$window" ] || fail "no window titled Vellacor"
xdotool mousemove --window "$window" 256 256 key Escape
exited() { ! kill -0 "$viewer_pid" 2>/dev/null; }
wait_for 60 "the packaged program to end on Escape" exited
status=0
wait "$viewer_pid" || status=$?
viewer_pid=
[ "$status" -eq 0 ] || fail "the packaged program ended with status $status on Escape"
echo "test-package: the packaged program drew its first frame and ended with status 0 on Escape"

echo "test-package: $deb passed in $(($(date +%s) - started)) s"
