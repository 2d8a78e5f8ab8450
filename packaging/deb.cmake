# The Debian package, made by `cpack -G DEB` in a build tree: the files of
# packaging/install.cmake under /usr, the program stripped, and Depends
# worked out by dpkg-shlibdeps from the libraries the program links. For a
# cross build the toolchain file sets CMAKE_STRIP to the target's strip, and
# the package architecture follows the target (see VELLACOR_DEB_ARCHITECTURE).

set(CPACK_PACKAGE_NAME vellacor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vellacor developers")
set(CPACK_PACKAGE_CONTACT "Vellacor maintainers <maintainers@users.noreply.c-seed-09ee607b.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

# Architecture: the build machine's, or in a cross build the target's, from
# the target's GNU triplet (aarch64-linux-gnu gives arm64).
set(VELLACOR_DEB_ARCHITECTURE "" CACHE STRING
  "Debian architecture of the package (empty: this machine's, or the cross build's target)")
if(NOT VELLACOR_DEB_ARCHITECTURE AND CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE)
  execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
    OUTPUT_VARIABLE VELLACOR_DEB_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(VELLACOR_DEB_ARCHITECTURE)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VELLACOR_DEB_ARCHITECTURE})
  # dpkg-shlibdeps looks for the libraries of the architecture it is told.
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/CPackDebArchitecture.cmake)
  file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "set(ENV{DEB_HOST_ARCH} ${VELLACOR_DEB_ARCHITECTURE})\n")
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The synopsis is the project's one-line description; CPack puts it before
# the extended description.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vellacor computes the escape-time iteration z -> z^2 + c of the Mandelbrot
set over the square from -2 - 1.5i to 1 + 1.5i on a grid of samples, turns
each sample's escape count into a height, and draws the heights as a shaded
3-D terrain with OpenGL.

Moving the mouse turns the view and the arrow keys fly over the terrain.
Single keys double or halve the grid (128 to 16384 samples a side), raise
or lower the iteration cap (25 to 65,525), invert the heights or the
colours, cycle three grey shadings and switch to wireframe.")

include(CPack)
