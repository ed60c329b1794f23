# Signs one of ruvo's files for Windows, ruvo.exe or the .msi, in place, with
# an Authenticode signature (SHA-256) made by osslsigncode (package
# osslsigncode):
#
#   cmake -DFILE=<file> [-DTIMESTAMP_URL=<RFC 3161 server>] -P sign.cmake
#
# It signs only when the environment holds RUVO_SIGNING_PFX, a PKCS#12 file
# with the code-signing certificate and its key, and RUVO_SIGNING_PASSWORD,
# its password; without RUVO_SIGNING_PFX it leaves the file as it is. Both are
# read here, while the build runs, and never when configuring, so that neither
# reaches CMakeCache.txt. osslsigncode reads the password from a file that
# only this user can read and that is removed at once: it never stands on a
# command line. With SOURCE_DATE_EPOCH set, the signature gives that as its
# signing time, so that one file, certificate and epoch always sign to the
# same bytes with one version of osslsigncode; a time stamp from a server
# holds the server's time instead.
if(NOT DEFINED FILE)
  message(FATAL_ERROR "sign.cmake needs -DFILE=...")
endif()
if("$ENV{RUVO_SIGNING_PFX}" STREQUAL "")
  return()
endif()
if(NOT DEFINED ENV{RUVO_SIGNING_PASSWORD})
  message(FATAL_ERROR "RUVO_SIGNING_PFX is set, RUVO_SIGNING_PASSWORD is not: set both to sign, "
                      "or neither")
endif()
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  message(FATAL_ERROR "Signing needs osslsigncode (package osslsigncode)")
endif()

set(options -h sha256)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  list(APPEND options -time $ENV{SOURCE_DATE_EPOCH})
endif()
if(TIMESTAMP_URL)
  list(APPEND options -ts ${TIMESTAMP_URL})
endif()
# The folder is made private before the password is written into it.
set(private ${FILE}.signing)
file(REMOVE_RECURSE ${private})
file(MAKE_DIRECTORY ${private})
file(CHMOD ${private} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(WRITE ${private}/password "$ENV{RUVO_SIGNING_PASSWORD}")
execute_process(
  COMMAND ${OSSLSIGNCODE} sign -pkcs12 $ENV{RUVO_SIGNING_PFX} -readpass ${private}/password
          ${options} -in ${FILE} -out ${private}/signed
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(REMOVE ${private}/password)
# osslsigncode writes only new files: the signed one is copied into the
# file itself, which so keeps its mode (ruvo.exe stays a program).
if(status EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${private}/signed OUTPUT_FILE ${FILE}
                  RESULT_VARIABLE status)
endif()
file(REMOVE_RECURSE ${private})
# A file that should be signed and is not must not stay behind to be packed
# or uploaded: it goes, and the next build makes it anew.
if(NOT status EQUAL 0)
  file(REMOVE ${FILE})
  message(FATAL_ERROR "Could not sign ${FILE} (${status}), which is removed:\n${output}")
endif()
get_filename_component(name ${FILE} NAME)
message(STATUS "Signed ${name}")
