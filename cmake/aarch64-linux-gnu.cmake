# Cross build for 64-bit Arm Linux on a Debian host: Debian's cross compiler
# (g++-aarch64-linux-gnu) against the arm64 libraries installed beside the
# host's through multiarch (libhwy-dev:arm64, freeglut3-dev:arm64, ...), which
# live in /usr/lib/aarch64-linux-gnu under the host's own /usr/include.
#   cmake -S . -B build/arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# Built tests run through qemu-user (CMAKE_CROSSCOMPILING_EMULATOR), so that
# ctest and the test discovery work as in a native build; QEMU_CPU picks the
# emulated processor.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Libraries, CMake package files and pkg-config files from the arm64 tree
# only: the host's x86-64 copies of the same packages must never be picked.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Programs run on the arm64 runtime installed through multiarch (libc6:arm64,
# libstdc++6:arm64: /lib/ld-linux-aarch64.so.1 and /usr/lib/aarch64-linux-gnu),
# as on an arm64 Debian machine. Not on the cross compiler's copy in
# /usr/aarch64-linux-gnu (qemu -L): under it a forked child spins forever in
# qemu 7.2, which hangs every death test.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
