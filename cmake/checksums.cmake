# Writes SHA256SUMS into a build folder, for ruvo's packages of one version
# that lie there: the .msi and the .zip of a Windows build, the .deb of a
# Linux one. Each line is the SHA-256 digest of a package in hexadecimal, two
# blanks and its name, as sha256sum writes them, so that sha256sum -c checks
# the packages against it; on Windows, certutil and Get-FileHash print the
# same digest.
#
#   cmake -DVERSION=<version> -DFOLDER=<build folder> -P checksums.cmake
foreach(name VERSION FOLDER)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "checksums.cmake needs -D${name}=...")
  endif()
endforeach()
file(GLOB packages LIST_DIRECTORIES false RELATIVE ${FOLDER} ${FOLDER}/ruvo-${VERSION}-win32.msi
     ${FOLDER}/ruvo-${VERSION}-win32.zip ${FOLDER}/ruvo_${VERSION}_*.deb)
if(NOT packages)
  message(FATAL_ERROR "${FOLDER} holds no package of ruvo ${VERSION}: pack them first "
                      "(cpack -G ZIP and the target msi for Windows, cpack -G DEB on Linux)")
endif()
list(SORT packages)
set(sums "")
foreach(package IN LISTS packages)
  file(SHA256 ${FOLDER}/${package} digest)
  string(APPEND sums "${digest}  ${package}\n")
endforeach()
file(WRITE ${FOLDER}/SHA256SUMS "${sums}")
message(STATUS "${FOLDER}/SHA256SUMS:\n${sums}")
