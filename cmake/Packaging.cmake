# Installing ruvo and packaging it: the command, its manual page and its bash
# completion on POSIX systems (a .deb with cpack -G DEB, which adds the licence and the changelog
# as Debian keeps them), the program, a short text and the licence on Windows
# (a .zip with cpack -G ZIP, and a Windows Installer package with the target
# msi); and the release of them all (the target release). The
# packages and the manual page carry the version of project(), which must be
# the newest one in the changelog.
include(GNUInstallDirs)

file(STRINGS packaging/changelog newest_entry LIMIT_COUNT 1)
if(NOT newest_entry MATCHES "^ruvo \\(([^)]+)\\) " OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog starts with \"${newest_entry}\", not with an entry "
                      "for version ${PROJECT_VERSION}, the version of project()")
endif()

set(RUVO_PACKAGE_CONTACT "ruvo maintainers <maintainers@users.noreply.c-seed-deb97e7a.example>"
    CACHE STRING "Maintainer named in the packages of ruvo")
# It reaches the build's command lines and the manifests as one line: a
# semicolon would split it into several arguments.
if(RUVO_PACKAGE_CONTACT MATCHES "[;\n\r\t]")
  message(FATAL_ERROR "RUVO_PACKAGE_CONTACT is \"${RUVO_PACKAGE_CONTACT}\": a semicolon, tab or "
                      "line break cannot stand in it")
endif()
# The publisher that the .msi and the manifests name: the contact without its address.
string(REGEX REPLACE " *<.*" "" publisher "${RUVO_PACKAGE_CONTACT}")

if(WIN32)
  # Unpacked, the .zip is a folder that holds the program beside its notes.
  install(TARGETS ruvo RUNTIME DESTINATION . COMPONENT program)
  configure_file(packaging/README-windows.txt.in README-windows.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README-windows.txt ${PROJECT_BINARY_DIR}/LICENSE.txt
          DESTINATION . COMPONENT program)
  set(CPACK_GENERATOR ZIP)
  # The .zip's one folder is ruvo, whatever the version, so that a PATH entry
  # made for it holds across upgrades; it is rwxr-xr-x whatever the umask.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGING_INSTALL_PREFIX /ruvo)
  install(DIRECTORY DESTINATION . COMPONENT program
          DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
else()
  install(TARGETS ruvo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
  configure_file(man/ruvo.1.in ruvo.1 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/ruvo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT manual)
  # Where bash-completion looks under the prefix (/usr and /usr/local alike).
  set(completion_dir ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES packaging/ruvo-completion.bash DESTINATION ${completion_dir} RENAME ruvo
          COMPONENT program)

  # The .deb's own files, which a plain install leaves out. Debian keeps
  # manual pages and changelogs compressed, with no name or time stamp in the
  # gzip header, so that the same text always gives the same bytes; and the
  # licence in its machine-readable copyright format, the text of LICENSE as
  # one paragraph with "." for each blank line.
  configure_file(packaging/changelog changelog COPYONLY)
  add_custom_command(OUTPUT ruvo.1.gz changelog.gz COMMAND gzip -9nkf ruvo.1 changelog
                     DEPENDS ${PROJECT_BINARY_DIR}/ruvo.1 ${PROJECT_BINARY_DIR}/changelog VERBATIM)
  add_custom_target(ruvo_deb_files ALL DEPENDS ruvo.1.gz changelog.gz)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
  file(READ LICENSE licence)
  string(FIND "${licence}" "Permission is hereby granted" terms_start)
  string(SUBSTRING "${licence}" ${terms_start} -1 terms)
  string(STRIP "${terms}" terms)
  string(REPLACE "\n\n" "\n.\n" terms "${terms}")
  string(REPLACE "\n" "\n " RUVO_LICENSE_DEP5 " ${terms}")
  configure_file(packaging/copyright.in copyright @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/ruvo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT deb EXCLUDE_FROM_ALL)
  # Every folder of the .deb rwxr-xr-x, as Debian wants them, whatever the
  # umask of whoever packs: the files get their modes from install() and
  # the folders are made with mkdir, which the umask masks, unless
  # install(DIRECTORY) names them and so sets their modes outright.
  set(deb_folders .)
  foreach(folder ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_MANDIR}/man1 ${completion_dir}
                 ${CMAKE_INSTALL_DOCDIR})
    while(NOT folder MATCHES "^/?$" AND NOT folder IN_LIST deb_folders)
      list(APPEND deb_folders ${folder})
      cmake_path(GET folder PARENT_PATH folder)
    endwhile()
  endforeach()
  foreach(folder IN LISTS deb_folders)
    install(DIRECTORY DESTINATION ${folder} COMPONENT deb EXCLUDE_FROM_ALL
            DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};ruvo;program;/"
                                   "${PROJECT_BINARY_DIR};ruvo;deb;/")
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_CONTACT "${RUVO_PACKAGE_CONTACT}")
# Lines of the extended description of the .deb, which Debian keeps short.
set(CPACK_PACKAGE_DESCRIPTION "ruvo prints the value of one environment variable under a short header,
with every semicolon ending a line, so that a search path such as CLASSPATH
shows one element per line. P and C stand for PATH and CLASSPATH.")
# ruvo.exe comes stripped from the build (see CMakeLists.txt).
if(NOT WIN32)
  set(CPACK_STRIP_FILES ON)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends on the C library version that dpkg-shlibdeps finds in the binary.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# cpack reads this file before it packs. A .zip holds each file's time as a
# DOS date and time, which libarchive writes in local time: in UTC they are
# the time of SOURCE_DATE_EPOCH, on every builder.
file(CONFIGURE OUTPUT CPackProjectConfig.cmake CONTENT "set(ENV{TZ} UTC)\n")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)
include(CPack)

# ruvo-<version>-win32.msi beside the .zip, from the same files as cpack
# installs them: cmake --build . --target msi (see cmake/msi.cmake). They are
# installed as built, not stripped again, so that a signed ruvo.exe keeps its
# signature; the .msi is then signed itself, as ruvo.exe is (cmake/sign.cmake).
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(msi_files ${PROJECT_BINARY_DIR}/msi-files)
  set(msi ${PROJECT_BINARY_DIR}/ruvo-${PROJECT_VERSION}-win32.msi)
  add_custom_target(msi
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${msi_files}
    COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${msi_files}
    COMMAND ${CMAKE_COMMAND} -DVERSION=${PROJECT_VERSION} -DFILES=${msi_files} -DOUTPUT=${msi}
            "-DMANUFACTURER=${publisher}" "-DDESCRIPTION=${PROJECT_DESCRIPTION}"
            -P ${PROJECT_SOURCE_DIR}/cmake/msi.cmake
    COMMAND ${CMAKE_COMMAND} -DFILE=${msi} -DTIMESTAMP_URL=${RUVO_TIMESTAMP_URL}
            -P ${PROJECT_SOURCE_DIR}/cmake/sign.cmake
    DEPENDS ruvo VERBATIM)
endif()

# The release: cmake --build . --target release, in a Linux build folder,
# writes the folder release/ afresh with exactly the files to upload (see
# cmake/release.cmake), and checks it; cmake --build . --target release-check
# checks that folder again as it lies (cmake/release_check.py), building
# nothing. Both need the cross compiler, wixl and msitools, dpkg-dev and
# file, and a Python 3 with jsonschema, rfc3987 (which checks the addresses)
# and yaml: Debian's, where another python3 comes first on PATH without them.
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  set(RUVO_DOWNLOAD_URL "" CACHE STRING
      "https:// address that the packages are downloaded from, ending in /")
  set(RUVO_HOMEPAGE "" CACHE STRING "ruvo's web page, where scoop looks for new versions")
  set(RUVO_LICENSE_URL "" CACHE STRING "Address of ruvo's licence, for winget; if empty, none")
  set(RUVO_MANIFEST_SCHEMAS ${PROJECT_SOURCE_DIR}/../shared/schemas CACHE PATH
      "Folder of the published winget (winget-1.10.0/) and scoop (scoop/) manifest schemas")
  # An address is refused here, before anything is built, unless it is
  # https:// with characters that need no quoting, no query or fragment, and
  # no version but this one in its path: the manifests publish it as it is.
  foreach(setting RUVO_DOWNLOAD_URL RUVO_HOMEPAGE RUVO_LICENSE_URL)
    set(address "${${setting}}")
    if(address STREQUAL "")
      continue()
    endif()
    string(REGEX REPLACE "^[a-z]+://[^/]*" "" path "${address}")
    string(REGEX MATCHALL "[0-9]+(\\.[0-9]+)+" versions "${path}")
    list(REMOVE_ITEM versions ${PROJECT_VERSION})
    if(NOT address MATCHES "^https://[A-Za-z0-9.-]+(:[0-9]+)?(/[-A-Za-z0-9._~%!&'()*+,=:@/]*)?$")
      message(FATAL_ERROR "${setting} is \"${address}\": not an https:// address without "
                          "query, fragment, blanks, quotes or semicolons")
    elseif(versions)
      message(FATAL_ERROR "${setting} is \"${address}\", which names version ${versions}: "
                          "the release is of version ${PROJECT_VERSION}")
    elseif(setting STREQUAL "RUVO_DOWNLOAD_URL" AND NOT address MATCHES "/$")
      message(FATAL_ERROR "${setting} is \"${address}\": it must end in /, since the "
                          "manifests append each package's name")
    endif()
  endforeach()
  if(NOT RUVO_PYTHON)
    foreach(python python3 /usr/bin/python3)
      execute_process(
        COMMAND ${python} -c "import jsonschema, rfc3987, yaml, sys; print(sys.executable)"
        RESULT_VARIABLE status OUTPUT_VARIABLE found ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(status EQUAL 0)
        set(RUVO_PYTHON ${found} CACHE FILEPATH "Python 3 with jsonschema, rfc3987 and yaml")
        break()
      endif()
    endforeach()
  endif()
  set(python ${RUVO_PYTHON})
  if(NOT python)
    set(python python3) # which then says what it lacks
  endif()
  set(check_release ${python} ${PROJECT_SOURCE_DIR}/cmake/release_check.py
      ${PROJECT_BINARY_DIR}/release --version=${PROJECT_VERSION}
      "--schemas=${RUVO_MANIFEST_SCHEMAS}" "--download-url=${RUVO_DOWNLOAD_URL}"
      "--homepage=${RUVO_HOMEPAGE}" "--license-url=${RUVO_LICENSE_URL}"
      "--publisher=${publisher}" "--description=${PROJECT_DESCRIPTION}"
      --ruvo-exe=${PROJECT_BINARY_DIR}/release-win32/ruvo.exe
      --ruvo=${PROJECT_BINARY_DIR}/ruvo${CMAKE_EXECUTABLE_SUFFIX}
      --strip=${CMAKE_STRIP})
  add_custom_target(release
    COMMAND ${CMAKE_COMMAND} -DVERSION=${PROJECT_VERSION} -DSOURCE=${PROJECT_SOURCE_DIR}
            -DBINARY=${PROJECT_BINARY_DIR} "-DGENERATOR=${CMAKE_GENERATOR}"
            -DCPACK=${CMAKE_CPACK_COMMAND} "-DDOWNLOAD_URL=${RUVO_DOWNLOAD_URL}"
            "-DHOMEPAGE=${RUVO_HOMEPAGE}" "-DLICENSE_URL=${RUVO_LICENSE_URL}"
            "-DTIMESTAMP_URL=${RUVO_TIMESTAMP_URL}" "-DCONTACT=${RUVO_PACKAGE_CONTACT}"
            "-DPUBLISHER=${publisher}" "-DDESCRIPTION=${PROJECT_DESCRIPTION}"
            -P ${PROJECT_SOURCE_DIR}/cmake/release.cmake
    COMMAND ${check_release}
    VERBATIM)
  add_dependencies(release ruvo ruvo_deb_files)
  add_custom_target(release-check COMMAND ${check_release} VERBATIM)
endif()

# The tests run the installed command and the page's examples on the build machine.
if(BUILD_TESTING AND UNIX AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME install COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install_test.sh
                                ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR})
  add_test(NAME manual_page COMMAND bash ${PROJECT_SOURCE_DIR}/tests/manual_page_test.sh
                                    ${PROJECT_BINARY_DIR}/ruvo.1 $<TARGET_FILE_DIR:ruvo>
                                    ${PROJECT_VERSION})
  # 77: groff, which renders the page, is not installed, or a completion row
  # needs a locale that this machine lacks.
  set_tests_properties(install manual_page PROPERTIES SKIP_RETURN_CODE 77)
endif()
