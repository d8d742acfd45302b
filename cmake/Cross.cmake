# Cross-builds this source tree for 32- and 64-bit Windows as external projects.
# Their programs and DLLs land in ${CALVEX_WIN32_DIR} and ${CALVEX_WIN64_DIR}.
include(ExternalProject)
find_program(CALVEX_MINGW32_CXX i686-w64-mingw32-g++-posix)
find_program(CALVEX_MINGW64_CXX x86_64-w64-mingw32-g++-posix)
find_program(CALVEX_WINE_PROGRAM wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
# A machine without MinGW-w64 still builds and tests everything else; the test
# command (CALVEX_REQUIRE_CROSS=ON in the presets) insists on the Windows builds.
if(NOT EXISTS "${CALVEX_MINGW32_CXX}" OR NOT EXISTS "${CALVEX_MINGW64_CXX}")
  if(CALVEX_REQUIRE_CROSS)
    message(FATAL_ERROR "MinGW-w64 cross compilers not found: run scripts/install-deps.sh or configure with -DCALVEX_CROSS=OFF")
  endif()
  message(NOTICE "MinGW-w64 cross compilers not found: the Windows builds and their tests are skipped "
                 "(scripts/install-deps.sh installs them)")
  return()
endif()
if(NOT CALVEX_WINE_PROGRAM AND CALVEX_REQUIRE_CROSS)
  message(FATAL_ERROR "wine64 not found: run scripts/install-deps.sh or configure with -DCALVEX_CROSS=OFF")
endif()
foreach(bits 32 64)
  if(bits EQUAL 32)
    set(triple i686-w64-mingw32)
  else()
    set(triple x86_64-w64-mingw32)
  endif()
  set(dir ${CMAKE_BINARY_DIR}/win${bits})
  ExternalProject_Add(cross-win${bits}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${triple}.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DCALVEX_TESTS=OFF -DCALVEX_CROSS=OFF
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
  set(CALVEX_WIN${bits}_DIR ${dir}/bin)
endforeach()
if(CALVEX_WINE_PROGRAM)
  set(CALVEX_WINE ${CALVEX_WINE_PROGRAM})
else()
  message(NOTICE "wine64 not found: the Windows builds are made but not run")
endif()
