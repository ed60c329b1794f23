# Makes the build folder's Wine prefix and starts one Wine server for it that
# stays up between the tests: without it every run of ruvo.exe starts and
# stops a server of its own, which costs seconds instead of milliseconds.
# With -DSTOP=ON it stops that server instead, which is no failure when the
# server has already left on its own (-p60: a minute after its last client).
# Run with -DWINE=... -DWINESERVER=... and the prefix in the environment.
#
# The server and the processes that wineboot leaves running outlive this
# script, so they write to a log file: on a pipe they would hold it open.
if(STOP)
  # wineserver -k ends with 1, saying nothing, when no server runs.
  execute_process(COMMAND ${WINESERVER} -k RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0 AND (error OR NOT IS_DIRECTORY $ENV{WINEPREFIX}))
    message(FATAL_ERROR "could not stop the Wine server of $ENV{WINEPREFIX} (${status}): ${error}")
  elseif(NOT status EQUAL 0)
    message(STATUS "No Wine server was running for $ENV{WINEPREFIX}: it had left on its own")
  endif()
  return()
endif()
set(log $ENV{WINEPREFIX}.log)
execute_process(COMMAND ${WINESERVER} -k OUTPUT_QUIET ERROR_QUIET) # one left from an earlier run
file(MAKE_DIRECTORY $ENV{WINEPREFIX}) # the server starts in it; wineboot fills it
execute_process(COMMAND ${WINESERVER} -p60 OUTPUT_FILE ${log} ERROR_FILE ${log}
                RESULT_VARIABLE status)
if(status EQUAL 0)
  execute_process(COMMAND ${WINE} wineboot -i OUTPUT_FILE ${log} ERROR_FILE ${log}
                  RESULT_VARIABLE status)
endif()
if(NOT status EQUAL 0)
  file(READ ${log} output)
  message(FATAL_ERROR "could not start Wine (${status}):\n${output}")
endif()
