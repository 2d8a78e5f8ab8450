#!/usr/bin/env bash
# Builds everything with warnings as errors and runs the whole test suite.
# Installs first what is missing of the viewer's and the tests' packages
# (scripts/packages.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/install-missing.sh "${viewer_packages[@]}" "${test_packages[@]}"
jobs=$(nproc)

cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Release -DVELLACOR_WERROR=ON -DVELLACOR_TESTS=ON
cmake --build build/test --parallel "$jobs"

# The unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer;
# any report aborts its test and so fails the run.
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLACOR_WERROR=ON -DVELLACOR_TESTS=ON \
  -DVELLACOR_BENCHMARKS=OFF -DVELLACOR_E2E_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize"
cmake --build build/asan --parallel "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure --parallel "$jobs" -L unit

# A minute of libFuzzer over event sequences against the real handlers, with
# the same sanitizers; a broken invariant or any report fails the run, and
# the input that did it is written to build/fuzz/crashes/. Inputs may use
# their whole length from the start: left to grow slowly, a minute never gets
# past sequences of a few events.
fuzz_flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DVELLACOR_TESTS=ON -DVELLACOR_FUZZER=ON -DVELLACOR_BENCHMARKS=OFF -DVELLACOR_E2E_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$fuzz_flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build build/fuzz --parallel "$jobs" --target vellacor_event_fuzzer
mkdir -p build/fuzz/corpus build/fuzz/crashes
build/fuzz/fuzz/vellacor_event_fuzzer -max_total_time=60 -max_len=512 -len_control=0 -timeout=20 -rss_limit_mb=4096 \
  -artifact_prefix=build/fuzz/crashes/ -print_final_stats=1 build/fuzz/corpus

# On x86-64: the arm64 build, its fused-operation check and its unit tests
# under qemu-user (enables the arm64 architecture in dpkg; see the README).
scripts/test-arm64.sh

# The Debian packages of build/test and, on x86-64, of the arm64 build:
# lintian, their contents and metadata, the packaged program run to its
# first frame (the arm64 one under qemu-user).
scripts/test-package.sh

# The main suite (unit, disassembly and end-to-end tests) last, so that its
# summary closes the run.
ctest --test-dir build/test --output-on-failure --parallel "$jobs"
