# The names of the release's two packages for Windows, msi and zip, for
# VERSION, read by the scripts that take them from FOLDER: these stop at
# once where one is not packed yet.
set(msi ruvo-${VERSION}-win32.msi)
set(zip ruvo-${VERSION}-win32.zip)
foreach(package ${msi} ${zip})
  if(NOT EXISTS ${FOLDER}/${package})
    message(FATAL_ERROR "${FOLDER} holds no ${package}: pack it first "
                        "(cpack -G ZIP and the target msi)")
  endif()
endforeach()
