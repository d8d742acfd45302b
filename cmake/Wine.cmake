# The wine environment of the tests: one prefix shared by all tests of this
# build (made once by the wine_prefix fixture), no debug output, no .NET or
# HTML engine installers. A test runs `${CALVEX_WINE_ENV} <command...>`, with
# FIXTURES_REQUIRED wine_prefix and RESOURCE_LOCK wine (calvex_wine_test_properties).
#
# calvex_add_wine_test(NAME <name> COMMAND <exe> [args...] [WORKING_DIRECTORY <dir>])
# Runs a Windows program under wine64 in that prefix.
set(CALVEX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CALVEX_WINE_ENV ${CMAKE_COMMAND} -E env WINEPREFIX=${CALVEX_WINEPREFIX} WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml=")
function(calvex_wine_test_properties name)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix RESOURCE_LOCK wine)
endfunction()
if(CALVEX_WINE AND NOT TEST wine_prefix_setup)
  add_test(NAME wine_prefix_setup
    COMMAND ${CALVEX_WINE_ENV} ${CALVEX_WINE} cmd /c exit 0)
  set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix RESOURCE_LOCK wine)
endif()
function(calvex_add_wine_test)
  cmake_parse_arguments(W "" "NAME;WORKING_DIRECTORY" "COMMAND" ${ARGN})
  if(NOT CALVEX_WINE)
    return()
  endif()
  if(NOT W_WORKING_DIRECTORY)
    set(W_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  add_test(NAME ${W_NAME}
    COMMAND ${CALVEX_WINE_ENV} ${CALVEX_WINE} ${W_COMMAND}
    WORKING_DIRECTORY ${W_WORKING_DIRECTORY})
  calvex_wine_test_properties(${W_NAME})
endfunction()

