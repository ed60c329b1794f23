# ruvo.exe: cross-built beside this build with cmake/mingw-w64-i686.cmake and
# run under Wine by the same test program, whose launcher starts ruvo.exe when
# RUVO_TARGET=windows. The tests are listed as "wine.*"; where the cross
# compiler or Wine is missing they are reported as skipped, with the reason.
option(RUVO_WINDOWS_TESTS "Cross-build ruvo.exe and run its tests under Wine" ON)
if(NOT RUVO_WINDOWS_TESTS)
  return()
endif()

# Only what is on PATH counts.
find_program(RUVO_MINGW_CXX i686-w64-mingw32-g++ NO_CMAKE_SYSTEM_PATH)
find_program(RUVO_MINGW_OBJDUMP i686-w64-mingw32-objdump NO_CMAKE_SYSTEM_PATH)
find_program(RUVO_WINE wine NO_CMAKE_SYSTEM_PATH)
find_program(RUVO_WINESERVER wineserver NO_CMAKE_SYSTEM_PATH)

# missing: a package that can be installed, so CI fails rather than skip.
# cannot_run: the machine itself cannot run 32-bit x86 programs (a kernel
# without 32-bit support), which 32-bit Wine is; then the tests are skipped
# everywhere, CI included.
set(missing "")
set(cannot_run "")
if(NOT RUVO_MINGW_CXX OR NOT RUVO_MINGW_OBJDUMP)
  set(missing "no i686-w64-mingw32 cross compiler (package g++-mingw-w64-i686)")
elseif(NOT RUVO_WINE OR NOT RUVO_WINESERVER)
  set(missing "no Wine (packages wine and wine32:i386)")
else()
  execute_process(COMMAND ${RUVO_WINE} --version RESULT_VARIABLE status OUTPUT_QUIET
                  ERROR_VARIABLE error)
  string(STRIP "${error}" error)
  if(error MATCHES "Exec format error")
    set(cannot_run "this machine cannot run 32-bit x86 programs, and Wine needs to (${error})")
  elseif(NOT status EQUAL 0)
    set(missing "wine --version failed: ${error}")
  endif()
endif()
if(missing OR cannot_run)
  message(STATUS "The wine.* tests will be skipped: ${missing}${cannot_run}")
endif()

set(windows_dir ${CMAKE_BINARY_DIR}/windows)
set(wine_prefix ${CMAKE_BINARY_DIR}/wineprefix)

if(RUVO_MINGW_CXX)
  include(ExternalProject)
  ExternalProject_Add(ruvo_windows
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${windows_dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-i686.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    INSTALL_COMMAND ""
    BUILD_ALWAYS TRUE)
  add_dependencies(ruvo_tests ruvo_windows)
endif()

target_compile_definitions(ruvo_tests PRIVATE
  RUVO_WINDOWS_MISSING="${missing}"
  RUVO_WINDOWS_CANNOT_RUN="${cannot_run}"
  RUVO_WINDOWS_PROGRAM="${windows_dir}/ruvo.exe"
  RUVO_WINE="${RUVO_WINE}"
  RUVO_WINE_PREFIX="${wine_prefix}"
  RUVO_OBJDUMP="${RUVO_MINGW_OBJDUMP}")

if(NOT missing AND NOT cannot_run)
  # One throwaway prefix in the build folder and one server for the whole
  # run: made first, stopped last. No installer dialog, no debug output.
  add_test(NAME wine.prefix COMMAND ${CMAKE_COMMAND} -DWINE=${RUVO_WINE}
           -DWINESERVER=${RUVO_WINESERVER} -P ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.cmake)
  add_test(NAME wine.server_stop COMMAND ${RUVO_WINESERVER} -k)
  set_tests_properties(wine.prefix wine.server_stop PROPERTIES ENVIRONMENT
    "WINEPREFIX=${wine_prefix};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
  set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)
  set_tests_properties(wine.server_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

gtest_discover_tests(ruvo_tests TEST_PREFIX "wine." TEST_FILTER "-in_process.*:listing_property.*"
  PROPERTIES ENVIRONMENT RUVO_TARGET=windows
             FIXTURES_REQUIRED wine
             SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
             TIMEOUT 300)
