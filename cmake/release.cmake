# Makes ruvo's release: the folder release/ of a Linux build folder, written
# afresh, holding exactly the files to upload. The target release runs it,
# then cmake/release_check.py on what it made:
#
#   cmake -DVERSION=<version> -DSOURCE=<source folder> -DBINARY=<build folder>
#         -DGENERATOR=<generator> -DCPACK=<cpack> -DDOWNLOAD_URL=<address ending in />
#         -DHOMEPAGE=<web page> -DLICENSE_URL=<address> -DTIMESTAMP_URL=<RFC 3161 server>
#         -DCONTACT=<maintainer> -DPUBLISHER=<name> -DDESCRIPTION=<text> -P release.cmake
#
# - the .deb, packed from the build folder (the target builds its files first)
#   under umask 022, since cpack gives the members of its outer ar archive the
#   modes that the umask leaves;
# - the .zip and the .msi, from a cross build for 32-bit Windows in
#   <build folder>/release-win32 with the same generator. Its ruvo.exe is
#   linked anew every time, so that it is signed, or not, as the environment
#   says now (cmake/sign.cmake), and the packages take that file;
# - SHA256SUMS of the three packages, as sha256sum writes it, so that
#   sha256sum -c checks them and scoop's autoupdate reads it;
# - winget's three manifests and scoop's ruvo.json (cmake/manifests.cmake).
# The folder is assembled beside, as release.new, and takes the name release
# only when it is whole; a release that fails leaves none.
foreach(name VERSION SOURCE BINARY GENERATOR CPACK DOWNLOAD_URL HOMEPAGE LICENSE_URL
             TIMESTAMP_URL CONTACT PUBLISHER DESCRIPTION)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "release.cmake needs -D${name}=...")
  endif()
endforeach()
foreach(name DOWNLOAD_URL HOMEPAGE)
  if(${name} STREQUAL "")
    message(FATAL_ERROR "RUVO_${name} is empty, and a release needs it: configure with "
                        "-DRUVO_${name}=<address>")
  endif()
endforeach()
set(windows ${BINARY}/release-win32)
set(release ${BINARY}/release)
file(REMOVE_RECURSE ${release} ${release}.new)

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${windows} -G ${GENERATOR}
          -DCMAKE_TOOLCHAIN_FILE=${SOURCE}/cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release
          -DRUVO_TIMESTAMP_URL=${TIMESTAMP_URL} -DRUVO_PACKAGE_CONTACT=${CONTACT}
  COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${windows}/ruvo.exe)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${windows} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CPACK} -G ZIP WORKING_DIRECTORY ${windows} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${windows} --target msi
                COMMAND_ERROR_IS_FATAL ANY)
file(GLOB old_debs ${BINARY}/ruvo_*.deb)
if(old_debs)
  file(REMOVE ${old_debs})
endif()
execute_process(COMMAND sh -c "umask 022 && exec \"$0\" -G DEB" ${CPACK}
                WORKING_DIRECTORY ${BINARY} COMMAND_ERROR_IS_FATAL ANY)

file(GLOB packages ${BINARY}/ruvo_${VERSION}_*.deb)
list(APPEND packages ${windows}/ruvo-${VERSION}-win32.msi ${windows}/ruvo-${VERSION}-win32.zip)
file(MAKE_DIRECTORY ${release}.new)
set(sums "")
foreach(package IN LISTS packages)
  get_filename_component(name ${package} NAME)
  file(COPY_FILE ${package} ${release}.new/${name})
  file(SHA256 ${package} digest)
  string(APPEND sums "${digest}  ${name}\n")
endforeach()
file(WRITE ${release}.new/SHA256SUMS "${sums}")
set(FOLDER ${release}.new)
include(${CMAKE_CURRENT_LIST_DIR}/manifests.cmake)
file(RENAME ${release}.new ${release})
message(STATUS "The release of ruvo ${VERSION} is in ${release}")
