#!/usr/bin/env bash
# On an x86-64 Debian host: builds the core library, the unit tests and the
# program for arm64 with Debian's cross compiler in build/arm64, checks the
# arm64 program for fused multiply-add instructions and that it loads its
# libraries, and runs the unit tests under qemu-user on emulated Arm
# processors: without SVE (NEON only), and with 128-, 256- and 512-bit SVE
# vectors, so that every instruction set the kernel is compiled for on arm64
# is met and checked against the plain loop.
#
# Needs the arm64 architecture enabled in dpkg (added here when missing) for
# the arm64 -dev packages; none of it is needed to build or run the viewer.
# VELLACOR_SKIP_ARM64=1 leaves the whole step out. On an arm64 host there is
# nothing to do: its native build is the arm64 one.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -n "${VELLACOR_SKIP_ARM64:-}" ]; then
  echo "arm64 cross tests: skipped (VELLACOR_SKIP_ARM64 is set)"
  exit 0
fi
host=$(dpkg --print-architecture)
if [ "$host" != amd64 ]; then
  echo "arm64 cross tests: skipped on a $host host (they cross-build from amd64)"
  exit 0
fi

# The cross compiler and binutils (aarch64-linux-gnu-g++, -objdump) and
# qemu-user are ordinary host packages. The arm64 -dev packages install their
# libraries beside the host's (/usr/lib/aarch64-linux-gnu) and share the
# host's identical headers; the tests run on the arm64 C and C++ runtime.
packages=(
  g++-aarch64-linux-gnu binutils-aarch64-linux-gnu qemu-user
  libc6:arm64 libstdc++6:arm64
  libhwy-dev:arm64 libgtest-dev:arm64
  libgl-dev:arm64 libglu1-mesa-dev:arm64 freeglut3-dev:arm64
)

if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  add_architecture=(dpkg --add-architecture arm64)
  if [ "$(id -u)" -eq 0 ]; then
    as_root=()
  elif command -v sudo >/dev/null; then
    as_root=(sudo)
  else
    echo "the arm64 tests need the arm64 architecture; as root, run: ${add_architecture[*]} && apt-get update" >&2
    exit 1
  fi
  echo "Enabling the arm64 architecture for the arm64 -dev packages"
  "${as_root[@]}" "${add_architecture[@]}"
  "${as_root[@]}" apt-get update -q
fi
scripts/install-missing.sh "${packages[@]}"

build=build/arm64
jobs=$(nproc)
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release \
  -DVELLACOR_WERROR=ON -DVELLACOR_TESTS=ON -DVELLACOR_BENCHMARKS=OFF -DVELLACOR_E2E_TESTS=OFF
cmake --build "$build" --parallel "$jobs"

# The arm64 program, read with aarch64-linux-gnu-objdump.
ctest --test-dir "$build" --output-on-failure -L disassembly

# It loads the real arm64 GL, GLU and freeglut libraries and gets as far as
# the toolkit, which, with no display to open, ends it with its message.
if said=$(env -u DISPLAY qemu-aarch64 "$build/vellacor" 2>&1) || ! grep -q 'failed to open display' <<<"$said"; then
  echo "the arm64 program did not reach the toolkit:" >&2
  echo "$said" >&2
  exit 1
fi
echo "the arm64 program starts and reaches the toolkit"

# Each emulated processor (qemu's -cpu, through QEMU_CPU) and the kernel's
# instruction sets it runs, best first, each of which the bit-identity tests
# restrict the kernel to in turn: NEON alone; 128-bit SVE, where SVE2_128 is
# taken; 256-bit SVE, where SVE_256 is; and 512-bit SVE, where only the
# length-agnostic SVE2 and SVE code runs. VELLACOR_EMULATED tells the tests
# they run emulated: the bit-identity tests use their smaller tables, and the
# test of an address-space limit, which qemu-user does not apply, is skipped.
runs=(
  "max,sve=off|NEON"
  "max,sve128=on|SVE2_128 SVE2 SVE NEON"
  "max,sve256=on|SVE_256 SVE2 SVE NEON"
  "max,sve512=on|SVE2 SVE NEON"
)
for run in "${runs[@]}"; do
  cpu=${run%%|*}
  echo "== unit tests on an emulated arm64 processor, -cpu $cpu"
  QEMU_CPU=$cpu VELLACOR_EXPECTED_TARGETS=${run#*|} VELLACOR_EMULATED=1 \
    ctest --test-dir "$build" --output-on-failure --parallel "$jobs" -L unit
done
