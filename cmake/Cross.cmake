# Cross-builds this source tree for 32- and 64-bit Windows as external projects.
# Their programs and DLLs land in ${CALVEX_WIN32_DIR} and ${CALVEX_WIN64_DIR},
# their zips are ${CALVEX_WIN32_ZIP} and ${CALVEX_WIN64_ZIP}.
include(ExternalProject)
include(${CMAKE_CURRENT_LIST_DIR}/WindowsTarget.cmake)
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
# calvex.exe links static Windows builds of the workbook libraries, made from
# Debian's sources once per target (scripts/build-win-deps.sh, a few minutes
# each; a stamp in the prefix makes later runs return at once). As root they
# are kept for every build tree of the machine in /var/cache/calvex-win-deps.
execute_process(COMMAND test -w /var/cache RESULT_VARIABLE var_cache_not_writable)
if(DEFINED ENV{CALVEX_WIN_DEPS_CACHE})
  set(deps_root $ENV{CALVEX_WIN_DEPS_CACHE})
elseif(var_cache_not_writable EQUAL 0)
  set(deps_root /var/cache/calvex-win-deps)
else()
  set(deps_root ${CMAKE_BINARY_DIR}/win-deps)
endif()
set(CALVEX_WIN_DEPS_ROOT ${deps_root} CACHE PATH
    "Where the Windows workbook libraries are built, one prefix per target (CALVEX_WIN_DEPS_CACHE)")
foreach(bits 32 64)
  calvex_windows_target(${bits} win)
  set(arch ${win_ARCH})
  set(triple ${win_TRIPLE})
  set(dir ${CMAKE_BINARY_DIR}/win${bits})
  set(deps ${CALVEX_WIN_DEPS_ROOT}/${triple})
  ExternalProject_Add(cross-win${bits}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${triple}.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DCALVEX_TESTS=OFF -DCALVEX_CROSS=OFF
      -DCALVEX_WIN_DEPS_PREFIX=${deps}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
  # Build trees sharing the cache take turns (flock) rather than filling one prefix at once.
  ExternalProject_Add_Step(cross-win${bits} deps
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CALVEX_WIN_DEPS_ROOT}
    COMMAND flock ${CALVEX_WIN_DEPS_ROOT}/.lock bash ${CMAKE_SOURCE_DIR}/scripts/build-win-deps.sh ${arch} ${deps}
    DEPENDERS configure
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/build-win-deps.sh
    COMMENT "Windows workbook libraries for ${triple}")
  # The Windows zip of this architecture (packaging/CMakeLists.txt).
  ExternalProject_Add_Step(cross-win${bits} zip
    COMMAND ${CMAKE_CPACK_COMMAND} -G ZIP --config ${dir}/CPackConfig.cmake -B ${dir}/package
    WORKING_DIRECTORY ${dir}
    DEPENDEES build
    ALWAYS ON
    COMMENT "Packing the win${bits} zip")
  set(CALVEX_WIN${bits}_DIR ${dir}/bin)
  set(CALVEX_WIN${bits}_ZIP ${dir}/package/Calvex-${PROJECT_VERSION}-win${bits}.zip)
endforeach()
if(CALVEX_WINE_PROGRAM)
  set(CALVEX_WINE ${CALVEX_WINE_PROGRAM})
else()
  message(NOTICE "wine64 not found: the Windows builds are made but not run")
endif()
