# The Debian 12 packages the scripts install through scripts/install-missing.sh,
# each with the step that needs it. Sourced by run.sh, test.sh and
# screenshots.sh. Named here is what the build includes, links or runs;
# what those packages depend on comes with them (libgl1 brings Mesa's
# drivers, libgl1-mesa-dri, that the viewer draws with; g++ brings binutils,
# whose nm and objdump two tests run).

# Building and running the viewer (scripts/run.sh).
viewer_packages=(
  cmake             # configures the build
  make              # runs it: CMake's default generator writes makefiles
  g++               # compiles it (GCC 12, C++20)
  libgl-dev         # GL/gl.h and libGL: the terrain's GL calls
  libglu1-mesa-dev  # GL/glu.h and libGLU: gluPerspective
  libglut-dev       # GL/glut.h and freeglut: the window and its events
  libhwy-dev        # Highway: the vector escape-time kernel
)

# The whole test command (scripts/test.sh), on top of the viewer's.
test_packages=(
  libgtest-dev        # GoogleTest: the unit tests and the seeded event-sequence test
  libbenchmark-dev    # Google Benchmark: bench/, built (not run) so that it keeps compiling
  clang-14            # compiles the libFuzzer target
  libclang-rt-14-dev  # libFuzzer and clang's sanitizer runtimes
  python3             # runs the end-to-end tests
  xvfb                # Xvfb: each end-to-end test's private X server
  xdotool             # finds the window, moves the pointer, presses keys
  apitrace            # records every GL call the real program makes
  x11-utils           # xwininfo: the window's title and geometry
  imagemagick         # import: the window's pixels
)

# Regenerating the README's pictures (scripts/screenshots.sh), on top of the
# viewer's: the probe library is configured with the tests.
screenshot_packages=(
  libgtest-dev  # configuring with the tests, which the probe library is part of
  python3       # runs tests/e2e/take_screenshots.py
  xvfb          # the private X server the pictures are taken in
  xdotool       # finds the window, moves the pointer, presses keys
  imagemagick   # import: saves the window as PNG
)
