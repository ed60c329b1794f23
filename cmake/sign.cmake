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
# reaches CMakeCache.txt.
#
# Once RUVO_SIGNING_PFX is set, FILE is signed or gone: it is first moved
# aside into FILE.signing/, and only a signed copy comes back under its name.
# Whatever fails (no password, no osslsigncode or openssl, a certificate that
# has expired, is not valid yet or is not for code signing, osslsigncode
# itself) or interrupts the signing, no unsigned file is left for a package
# to take, with Make or Ninja alike; the next build links or packs it anew.
#
# The password reaches openssl and osslsigncode through their environment
# and a pipe, never on a command line and never in a file. With
# SOURCE_DATE_EPOCH set, the signature gives that as its signing time, so that
# one file, certificate and epoch always sign to the same bytes with one
# version of osslsigncode; a time stamp from a server holds the server's time
# instead.
if(NOT DEFINED FILE)
  message(FATAL_ERROR "sign.cmake needs -DFILE=...")
endif()
if("$ENV{RUVO_SIGNING_PFX}" STREQUAL "")
  return()
endif()
set(pfx "$ENV{RUVO_SIGNING_PFX}")
set(work ${FILE}.signing)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
file(RENAME ${FILE} ${work}/unsigned)
function(refuse)
  # Each part as given: ARGV would split one that holds a semicolon.
  set(why "")
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE ${last})
    string(APPEND why "${ARGV${i}}")
  endforeach()
  file(REMOVE_RECURSE ${work})
  message(FATAL_ERROR "Could not sign ${FILE}, which is removed: ${why}")
endfunction()

if(NOT DEFINED ENV{RUVO_SIGNING_PASSWORD})
  refuse("RUVO_SIGNING_PFX is set, RUVO_SIGNING_PASSWORD is not: set both to sign, or neither")
endif()
if(pfx MATCHES ";")
  refuse("RUVO_SIGNING_PFX is \"${pfx}\": a file name with a semicolon, which would reach "
         "osslsigncode as several arguments")
endif()
find_program(OSSLSIGNCODE osslsigncode)
find_program(OPENSSL openssl)
if(NOT OSSLSIGNCODE OR NOT OPENSSL)
  refuse("signing needs osslsigncode and openssl (packages osslsigncode and openssl)")
endif()

# The certificate must be one that Windows accepts for code signing now:
# a signature by any other verifies nowhere.
execute_process(COMMAND ${OPENSSL} pkcs12 -in ${pfx} -nokeys -clcerts
                        -passin env:RUVO_SIGNING_PASSWORD
                COMMAND ${OPENSSL} x509 -noout -dateopt iso_8601 -startdate -enddate
                        -ext extendedKeyUsage
                RESULTS_VARIABLE statuses OUTPUT_VARIABLE certificate ERROR_VARIABLE error)
if(NOT statuses STREQUAL "0;0"
   OR NOT certificate MATCHES "notBefore=([^\n]+)\nnotAfter=([^\n]+)\n(.*)")
  string(STRIP "${error}" error)
  refuse("the certificate in RUVO_SIGNING_PFX (${pfx}) cannot be read with "
         "RUVO_SIGNING_PASSWORD: ${error}")
endif()
set(not_before ${CMAKE_MATCH_1})
set(not_after ${CMAKE_MATCH_2})
set(usage ${CMAKE_MATCH_3})
# ISO 8601 times in UTC compare as strings. string(TIMESTAMP) gives
# SOURCE_DATE_EPOCH's time where it is set: the certificate must be valid now.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
unset(ENV{SOURCE_DATE_EPOCH})
string(TIMESTAMP now "%Y-%m-%d %H:%M:%SZ" UTC)
if(NOT epoch STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
if(now STRLESS not_before)
  refuse("the certificate in ${pfx} is not valid before ${not_before}")
elseif(NOT now STRLESS not_after)
  refuse("the certificate in ${pfx} expired at ${not_after}")
elseif(NOT usage MATCHES "Code Signing")
  string(REGEX REPLACE ".*Extended Key Usage: *\n *" "" usage "${usage}")
  string(STRIP "${usage}" usage)
  if(usage STREQUAL "")
    set(usage "none")
  endif()
  refuse("the certificate in ${pfx} is not for code signing: its extended key usage is "
         "${usage}, not Code Signing")
endif()

set(options -h sha256)
if(NOT epoch STREQUAL "")
  list(APPEND options -time ${epoch})
endif()
if(TIMESTAMP_URL)
  list(APPEND options -ts ${TIMESTAMP_URL})
endif()
# The shell's printf is a builtin: the password goes from the environment
# into the pipe, on no command line.
execute_process(
  COMMAND sh -c "printf %s \"$RUVO_SIGNING_PASSWORD\""
  COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${pfx} -readpass /dev/stdin ${options}
          -in ${work}/unsigned -out ${work}/signed
  RESULTS_VARIABLE statuses OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT statuses STREQUAL "0;0")
  refuse("osslsigncode failed (${statuses}):\n${output}")
endif()
# osslsigncode writes only new files: the signed bytes go into the moved
# file, which so keeps its mode (ruvo.exe stays a program), and that comes
# back under its own name.
execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${work}/signed OUTPUT_FILE ${work}/unsigned
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  refuse("the signed file could not be written (${status})")
endif()
file(RENAME ${work}/unsigned ${FILE})
file(REMOVE_RECURSE ${work})
get_filename_component(name ${FILE} NAME)
message(STATUS "Signed ${name}")
