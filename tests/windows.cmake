# ruvo.exe: cross-built beside this build and run under Wine by the same test
# program, whose launcher starts ruvo.exe when RUVO_TARGET=windows.
#
# The program for Windows is the 32-bit ruvo.exe. Where this machine can run
# 32-bit x86 programs (32-bit Wine is one), the Windows rows run it under
# 32-bit Wine and are listed as "wine.i686.*". Where the kernel cannot, the
# same rows run a 64-bit build of the same sources under 64-bit Wine instead,
# listed as "wine.x86_64.*"; RUVO_WINE_ARCH=x86_64 takes that path on any
# machine, so that it can be tried where 32-bit Wine runs too. The checks of
# the 32-bit file itself need no Wine and run on every machine, as
# "ruvo.exe.*". Where a package is missing, the tests are reported as
# skipped, with the reason; with CI=true they fail.
if(NOT RUVO_WINDOWS_TESTS) # an option of tests/CMakeLists.txt
  return()
endif()
set(RUVO_WINE_ARCH "" CACHE STRING "The build and the Wine of the wine.* tests: i686 (ruvo.exe \
under 32-bit Wine) or x86_64 (a 64-bit build under 64-bit Wine); empty: x86_64 where this machine \
cannot run 32-bit x86 programs or has only 64-bit Wine, i686 elsewhere")
set_property(CACHE RUVO_WINE_ARCH PROPERTY STRINGS "" i686 x86_64)
if(NOT RUVO_WINE_ARCH MATCHES "^(i686|x86_64)?$")
  message(FATAL_ERROR "RUVO_WINE_ARCH is \"${RUVO_WINE_ARCH}\": set it to i686, x86_64 or nothing")
endif()

# Only what is on PATH counts, but for the loaders and servers of Debian's
# Wine, which it keeps in /usr/lib/wine.
find_program(RUVO_MINGW_CXX i686-w64-mingw32-g++ NO_CMAKE_SYSTEM_PATH)
find_program(RUVO_MINGW_OBJDUMP i686-w64-mingw32-objdump NO_CMAKE_SYSTEM_PATH)
find_program(RUVO_WINE wine NO_CMAKE_SYSTEM_PATH)
find_program(RUVO_WINESERVER wineserver NO_CMAKE_SYSTEM_PATH)
find_program(RUVO_WINE32_LOADER wine PATHS /usr/lib/wine NO_DEFAULT_PATH)

# What the kernel runs: wine starts the 32-bit loader whenever it is
# installed, and that fails at once where 32-bit x86 programs cannot run.
set(no_32_bit "")
set(wine_failed "")
if(RUVO_WINE AND RUVO_WINE32_LOADER)
  execute_process(COMMAND ${RUVO_WINE} --version RESULT_VARIABLE status OUTPUT_QUIET
                  ERROR_VARIABLE error)
  string(STRIP "${error}" error)
  if(error MATCHES "Exec format error")
    set(no_32_bit "this machine cannot run 32-bit x86 programs (${error})")
  elseif(NOT status EQUAL 0)
    set(wine_failed "wine --version failed: ${error}")
  endif()
endif()
find_program(RUVO_MINGW64_CXX x86_64-w64-mingw32-g++ NO_CMAKE_SYSTEM_PATH)
find_program(RUVO_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_SYSTEM_PATH)
find_program(RUVO_WINESERVER64 wineserver64 PATHS /usr/lib/wine NO_CMAKE_SYSTEM_PATH)
set(arch ${RUVO_WINE_ARCH})
set(why_64 "RUVO_WINE_ARCH is x86_64")
if(arch STREQUAL "i686" AND no_32_bit)
  message(FATAL_ERROR "RUVO_WINE_ARCH is i686, but ${no_32_bit}: set it to x86_64, or leave it "
                      "empty, to run a 64-bit build of ruvo.exe under 64-bit Wine")
elseif(NOT arch AND no_32_bit)
  set(arch x86_64)
  set(why_64 "${no_32_bit}")
elseif(NOT arch AND NOT RUVO_WINE32_LOADER AND RUVO_WINE64)
  # As a machine without 32-bit support is set up.
  set(arch x86_64)
  set(why_64 "32-bit Wine is not installed (package wine32:i386), 64-bit Wine is")
elseif(NOT arch)
  set(arch i686)
endif()

# Which ruvo.exe the rows run, and with which Wine. missing: a package that
# can be installed, so CI fails rather than skip.
set(missing "")
set(wine ${RUVO_WINE})
set(wineserver ${RUVO_WINESERVER})
if(NOT RUVO_MINGW_CXX OR NOT RUVO_MINGW_OBJDUMP)
  set(missing "no i686-w64-mingw32 cross compiler (package g++-mingw-w64-i686)")
elseif(arch STREQUAL "i686" AND (NOT RUVO_WINE OR NOT RUVO_WINESERVER OR NOT RUVO_WINE32_LOADER))
  set(missing "no 32-bit Wine (packages wine and wine32:i386)")
elseif(arch STREQUAL "i686")
  set(missing "${wine_failed}")
else()
  set(wine ${RUVO_WINE64})
  set(wineserver ${RUVO_WINESERVER64})
  if(NOT RUVO_MINGW64_CXX)
    set(missing "${why_64}, and there is no cross compiler for the 64-bit build (package "
                "g++-mingw-w64-x86-64)")
    string(REPLACE ";" "" missing "${missing}")
  elseif(NOT RUVO_WINE64 OR NOT RUVO_WINESERVER64)
    set(missing "${why_64}, and there is no 64-bit Wine to run the 64-bit build (package wine64)")
  endif()
endif()
if(missing)
  message(STATUS "The wine.* tests will be skipped: ${missing}")
elseif(arch STREQUAL "i686")
  message(STATUS "The wine.i686.* tests run ruvo.exe, the 32-bit build, under 32-bit Wine")
else()
  message(STATUS "The wine.x86_64.* tests run a 64-bit build of ruvo.exe under 64-bit Wine: "
                 "${why_64}; the ruvo.exe.* tests check the 32-bit file")
endif()

# windows/ holds the 32-bit ruvo.exe; windows-x86_64/ the 64-bit one, made
# only where the rows run it.
set(windows_dir ${CMAKE_BINARY_DIR}/windows)
set(run_dir ${windows_dir})
if(arch STREQUAL "x86_64")
  set(run_dir ${CMAKE_BINARY_DIR}/windows-x86_64)
endif()
# A prefix of one architecture is no use to Wine of the other.
set(wine_prefix ${CMAKE_BINARY_DIR}/wineprefix-${arch})

include(ExternalProject)
function(add_windows_build build_arch dir)
  ExternalProject_Add(ruvo_windows_${build_arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-${build_arch}.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    INSTALL_COMMAND ""
    BUILD_ALWAYS TRUE)
  add_dependencies(ruvo_tests ruvo_windows_${build_arch})
endfunction()
if(RUVO_MINGW_CXX)
  add_windows_build(i686 ${windows_dir})
endif()
if(arch STREQUAL "x86_64" AND RUVO_MINGW64_CXX)
  add_windows_build(x86_64 ${run_dir})
endif()

# The Windows parent that starts ruvo.exe in the rows, built for the Wine
# that runs them.
set(helper ${CMAKE_BINARY_DIR}/wine_helper-${arch}.exe)
set(helper_cxx ${RUVO_MINGW_CXX})
if(arch STREQUAL "x86_64")
  set(helper_cxx ${RUVO_MINGW64_CXX})
endif()
if(NOT missing)
  add_custom_command(OUTPUT ${helper}
    COMMAND ${helper_cxx} -std=c++17 -O2 -Wall -Wextra -Wpedantic -static
            ${CMAKE_CURRENT_SOURCE_DIR}/wine_helper.cpp -lversion -o ${helper}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/wine_helper.cpp VERBATIM)
  add_custom_target(wine_helper DEPENDS ${helper})
  add_dependencies(ruvo_tests wine_helper)
endif()

target_compile_definitions(ruvo_tests PRIVATE
  RUVO_WINDOWS_MISSING="${missing}"
  RUVO_WINDOWS_PROGRAM="${windows_dir}/ruvo.exe"
  RUVO_WINE_PROGRAM="${run_dir}/ruvo.exe"
  RUVO_WINE="${wine}"
  RUVO_WINE_PREFIX="${wine_prefix}"
  RUVO_WINE_HELPER="${helper}"
  RUVO_OBJDUMP="${RUVO_MINGW_OBJDUMP}"
  RUVO_VERSION="${PROJECT_VERSION}"
  RUVO_DESCRIPTION="${PROJECT_DESCRIPTION}"
  RUVO_LICENSE="${PROJECT_SOURCE_DIR}/LICENSE")

if(NOT missing)
  # One throwaway prefix in the build folder and one server for the whole
  # run: made first, stopped last. No installer dialog, no debug output.
  add_test(NAME wine.prefix COMMAND ${CMAKE_COMMAND} -DWINE=${wine} -DWINESERVER=${wineserver}
           -P ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.cmake)
  add_test(NAME wine.server_stop COMMAND ${CMAKE_COMMAND} -DWINESERVER=${wineserver} -DSTOP=ON
           -P ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.cmake)
  set_tests_properties(wine.prefix wine.server_stop PROPERTIES ENVIRONMENT
    "WINEPREFIX=${wine_prefix};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
  set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)
  set_tests_properties(wine.server_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

gtest_discover_tests(ruvo_tests TEST_PREFIX "wine.${arch}." NO_PRETTY_VALUES
  TEST_FILTER "-in_process.*:listing_property.*:windows_program_file.*"
  PROPERTIES ENVIRONMENT RUVO_TARGET=windows
             FIXTURES_REQUIRED wine
             SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
             TIMEOUT 300)
gtest_discover_tests(ruvo_tests TEST_PREFIX "ruvo.exe." NO_PRETTY_VALUES
  TEST_FILTER "windows_program_file.*"
  PROPERTIES ENVIRONMENT RUVO_TARGET=windows
             SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")

# The .msi of the 32-bit build, packed, then installed, run from PATH,
# repaired, replaced by the next version and uninstalled, in that order;
# beside them, in a prefix of its own, installed into folders that it must
# take or refuse (see msi_test.sh). The longest chains of the run: a high
# cost has ctest start them first.
set(previous "")
foreach(step package install run_from_path repair upgrade uninstall folders)
  add_test(NAME wine.${arch}.msi.${step}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/msi_test.sh ${step} ${arch} ${CMAKE_BINARY_DIR}
                   ${PROJECT_VERSION} ${CMAKE_COMMAND} "${wine}" "${wineserver}" "${missing}")
  set_tests_properties(wine.${arch}.msi.${step} PROPERTIES FIXTURES_REQUIRED "msi;msi_installed"
                       DEPENDS "${previous}" SKIP_RETURN_CODE 77 TIMEOUT 300 COST 100)
  set(previous wine.${arch}.msi.${step})
endforeach()
set_tests_properties(wine.${arch}.msi.package PROPERTIES FIXTURES_SETUP msi FIXTURES_REQUIRED ""
                     DEPENDS "")
set_tests_properties(wine.${arch}.msi.install PROPERTIES FIXTURES_SETUP msi_installed
                     FIXTURES_REQUIRED msi)
set_tests_properties(wine.${arch}.msi.uninstall PROPERTIES FIXTURES_CLEANUP msi_installed
                     FIXTURES_REQUIRED msi)
set_tests_properties(wine.${arch}.msi.folders PROPERTIES FIXTURES_REQUIRED msi DEPENDS "")
