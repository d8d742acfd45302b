# The workbook libraries of a Windows build: static zlib, libzip, expat and
# libxlsxwriter that scripts/build-win-deps.sh cross-builds into one prefix per
# target. Included by a WIN32 (MinGW-w64) configure before the host's
# directory; afterwards pkg_check_modules and find_* see that prefix only, so
# the host links the same static archives on every Windows target.
#
#   -DCALVEX_WIN_DEPS_PREFIX=/path/to/prefix   (bash scripts/build-win-deps.sh x86_64 /path/to/prefix)
if(NOT WIN32)
  return()
endif()

set(CALVEX_WIN_DEPS_PREFIX "" CACHE PATH "Prefix filled by scripts/build-win-deps.sh for this Windows target")
if(NOT CALVEX_WIN_DEPS_PREFIX OR NOT EXISTS "${CALVEX_WIN_DEPS_PREFIX}/lib/pkgconfig/xlsxwriter.pc")
  message(FATAL_ERROR "CALVEX_WIN_DEPS_PREFIX ('${CALVEX_WIN_DEPS_PREFIX}') holds no Windows workbook libraries: "
                      "run scripts/build-win-deps.sh ARCH PREFIX and pass -DCALVEX_WIN_DEPS_PREFIX=PREFIX")
endif()

list(PREPEND CMAKE_FIND_ROOT_PATH "${CALVEX_WIN_DEPS_PREFIX}")
list(PREPEND CMAKE_PREFIX_PATH "${CALVEX_WIN_DEPS_PREFIX}")
# The build machine's .pc files name Linux libraries: pkg-config reads the
# prefix's files and nothing else.
set(ENV{PKG_CONFIG_LIBDIR} "${CALVEX_WIN_DEPS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_USE_CMAKE_PREFIX_PATH OFF)
