# Checks ruvo's release for Windows as it lies in a build folder, the last
# step before the upload (the target release-check runs it):
#
#   cmake -DVERSION=<version> -DFOLDER=<build folder> -DPUBLISHER=<name> -DDESCRIPTION=<text>
#         -DPYTHON=<python3> -DSCHEMAS=<folder> -DSOURCE=<source folder> -P release_check.cmake
#
# It looks at everything before it fails, naming each fault:
# - the .zip holds one folder, ruvo, with ruvo.exe, README-windows.txt and
#   LICENSE.txt, the two texts with CR LF line ends, and nothing more;
# - the .msi installs the very same files;
# - signatures. Given a certificate, RUVO_SIGNING_CERT (a PEM file, the
#   signer's certificate first, then any of its chain) or else
#   RUVO_SIGNING_PFX with RUVO_SIGNING_PASSWORD, ruvo.exe as built, in the
#   .zip and in the .msi, and the .msi, are each signed once, with SHA-256,
#   by that certificate, and the signature verifies (osslsigncode). Given
#   none, none of them is signed;
# - SHA256SUMS lists the .msi and the .zip with their digests, as sha256sum
#   -c reads it;
# - the manifests pass tests/manifests_check.py, which also reads PUBLISHER
#   and DESCRIPTION back from them.
foreach(name VERSION FOLDER PUBLISHER DESCRIPTION PYTHON SCHEMAS SOURCE)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "release_check.cmake needs -D${name}=...")
  endif()
endforeach()
set(faults "")
macro(fault text)
  string(APPEND faults "- ${text}\n")
endmacro()
include(${CMAKE_CURRENT_LIST_DIR}/windows_packages.cmake)
set(work ${FOLDER}/release-check)
file(REMOVE_RECURSE ${work})

# The files of each package, unpacked side by side.
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${FOLDER}/${zip} OUTPUT_VARIABLE listing
                OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REPLACE "\n" ";" listing "${listing}")
list(SORT listing)
if(NOT listing STREQUAL "ruvo/;ruvo/LICENSE.txt;ruvo/README-windows.txt;ruvo/ruvo.exe")
  fault("${zip} holds [${listing}], not ruvo/ with ruvo.exe, README-windows.txt and LICENSE.txt")
endif()
file(ARCHIVE_EXTRACT INPUT ${FOLDER}/${zip} DESTINATION ${work}/zip)
foreach(text LICENSE.txt README-windows.txt)
  # In hexadecimal, a byte a pair with a blank before it: file(READ) as
  # text would drop the CRs.
  file(READ ${work}/zip/ruvo/${text} content HEX)
  string(REGEX REPLACE "(..)" " \\1" content "${content}")
  string(REPLACE " 0d 0a" "" content "${content}")
  if(content MATCHES " 0a")
    fault("${text} in ${zip} has a line without CR LF")
  endif()
endforeach()
find_program(MSIEXTRACT msiextract)
if(NOT MSIEXTRACT)
  message(FATAL_ERROR "The check needs msiextract (package msitools)")
endif()
execute_process(COMMAND ${MSIEXTRACT} -C ${work}/msi ${FOLDER}/${msi} OUTPUT_QUIET
                RESULT_VARIABLE status ERROR_VARIABLE error)
if(NOT status EQUAL 0)
  fault("msiextract cannot unpack ${msi}: ${error}")
endif()
set(installed "${work}/msi/Program Files/ruvo")
file(GLOB_RECURSE in_zip RELATIVE ${work}/zip/ruvo ${work}/zip/ruvo/*)
file(GLOB_RECURSE in_msi RELATIVE ${installed} "${installed}/*")
if(NOT in_zip STREQUAL in_msi)
  fault("${msi} installs [${in_msi}] into Program Files\\ruvo, the .zip holds [${in_zip}]")
endif()
foreach(file IN LISTS in_zip)
  file(SHA256 ${work}/zip/ruvo/${file} zip_digest)
  if(EXISTS "${installed}/${file}")
    file(SHA256 "${installed}/${file}" msi_digest)
    if(NOT zip_digest STREQUAL msi_digest)
      fault("${file} differs between ${zip} and ${msi}")
    endif()
  endif()
endforeach()

# The certificate that signs the release, if any: its serial number and
# issuer, and the file that osslsigncode verifies the chain against.
set(signer "")
find_program(OSSLSIGNCODE osslsigncode)
find_program(OPENSSL openssl)
if(NOT OSSLSIGNCODE OR NOT OPENSSL)
  message(FATAL_ERROR "The check of the signatures needs osslsigncode and openssl (packages "
                      "osslsigncode and openssl)")
endif()
if(NOT "$ENV{RUVO_SIGNING_CERT}" STREQUAL "")
  set(certificate $ENV{RUVO_SIGNING_CERT})
elseif(NOT "$ENV{RUVO_SIGNING_PFX}" STREQUAL "")
  if(NOT DEFINED ENV{RUVO_SIGNING_PASSWORD})
    message(FATAL_ERROR "RUVO_SIGNING_PFX is set: its certificate needs RUVO_SIGNING_PASSWORD, "
                        "or name the certificate's file in RUVO_SIGNING_CERT")
  endif()
  set(certificate ${work}/certificate.pem)
  # The password reaches openssl in its environment, not on its command line.
  execute_process(COMMAND ${OPENSSL} pkcs12 -in $ENV{RUVO_SIGNING_PFX} -nokeys -clcerts
                          -passin env:RUVO_SIGNING_PASSWORD -out ${certificate}
                  RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Cannot read the certificate of $ENV{RUVO_SIGNING_PFX}: ${error}")
  endif()
  execute_process(COMMAND ${OPENSSL} pkcs12 -in $ENV{RUVO_SIGNING_PFX} -nokeys -cacerts
                          -passin env:RUVO_SIGNING_PASSWORD OUTPUT_VARIABLE chain)
  file(APPEND ${certificate} "${chain}")
endif()
set(verify ${OSSLSIGNCODE} verify)
if(DEFINED certificate)
  execute_process(COMMAND ${OPENSSL} x509 -in ${certificate} -noout -serial -issuer -nameopt compat
                  OUTPUT_VARIABLE signer RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0 OR NOT signer MATCHES "serial=0*([0-9A-F]+)\nissuer=([^\n]*)")
    message(FATAL_ERROR "${certificate} holds no certificate in PEM: ${error}")
  endif()
  set(signer "${CMAKE_MATCH_2} ${CMAKE_MATCH_1}")
  # A certificate from a certification authority verifies against the
  # system's roots, a self-signed one against itself.
  file(READ ${certificate} roots)
  if(EXISTS /etc/ssl/certs/ca-certificates.crt)
    file(READ /etc/ssl/certs/ca-certificates.crt system_roots)
    string(APPEND roots "\n${system_roots}")
  endif()
  file(WRITE ${work}/roots.pem "${roots}")
  list(APPEND verify -CAfile ${work}/roots.pem)
endif()
string(CONCAT signer_pattern "Signer's certificate:[^#]*Signer #0:\n[^\n]*\n"
       "[ \t]*Issuer : ([^\n]*)\n[ \t]*Serial : 0*([0-9A-F]+)")
foreach(file ${FOLDER}/ruvo.exe ${work}/zip/ruvo/ruvo.exe "${installed}/ruvo.exe" ${FOLDER}/${msi})
  string(REPLACE "${work}/zip/" "${zip}:" name "${file}")
  string(REPLACE "${installed}/" "${msi}:" name "${name}")
  execute_process(COMMAND ${verify} -in ${file} RESULT_VARIABLE status OUTPUT_VARIABLE output
                  ERROR_VARIABLE output)
  string(REGEX MATCHALL "Message digest algorithm *: *[A-Z0-9]+" digests "${output}")
  string(REGEX REPLACE "Message digest algorithm *: *" "" digests "${digests}")
  list(REMOVE_DUPLICATES digests)
  set(by "")
  if(output MATCHES "${signer_pattern}")
    set(by "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
  endif()
  if(NOT signer AND NOT output MATCHES "[Nn]o signature")
    fault("${name} is signed, and the build was given no certificate")
  elseif(signer AND NOT status EQUAL 0)
    string(REGEX REPLACE "\n+" " " output "${output}")
    fault("${name} carries no signature that verifies: ${output}")
  elseif(signer AND NOT digests STREQUAL "SHA256")
    fault("${name} is signed with ${digests}, not SHA-256")
  elseif(signer AND (output MATCHES "Signature Index: 1" OR NOT by STREQUAL signer))
    fault("${name} is not signed once, by ${certificate} (${signer}): by ${by}")
  endif()
endforeach()

# SHA256SUMS as the target checksums writes it.
set(sums "")
foreach(package ${msi} ${zip})
  file(SHA256 ${FOLDER}/${package} digest)
  string(APPEND sums "${digest}  ${package}\n")
endforeach()
set(written "")
if(EXISTS ${FOLDER}/SHA256SUMS)
  file(READ ${FOLDER}/SHA256SUMS written)
endif()
if(NOT written STREQUAL sums)
  fault("SHA256SUMS holds \"${written}\", not the digests of the .msi and the .zip "
        "(the target checksums writes it)")
endif()

if(NOT IS_DIRECTORY ${FOLDER}/manifests)
  fault("no manifests: the target manifests writes them")
elseif(NOT PYTHON)
  fault("the manifests' check needs Python 3 with the modules jsonschema, rfc3987 and yaml "
        "(packages python3-jsonschema, python3-rfc3987 and python3-yaml)")
else()
  execute_process(COMMAND ${PYTHON} ${SOURCE}/tests/manifests_check.py ${FOLDER} ${SCHEMAS}
                          ${PUBLISHER} ${DESCRIPTION}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    string(REPLACE "\n" "\n  " output "${output}")
    fault("the manifests:\n  ${output}")
  endif()
endif()

file(REMOVE_RECURSE ${work})
if(faults)
  message(FATAL_ERROR "The release in ${FOLDER} is not ready:\n${faults}")
endif()
message(STATUS "The release in ${FOLDER} is ready to upload")
