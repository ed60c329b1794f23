# Makes the build folder's Wine prefix and starts one Wine server for it that
# stays up between the tests: without it every run of ruvo.exe starts and
# stops a server of its own, which costs seconds instead of milliseconds.
# Run with -DWINE=... -DWINESERVER=... and the prefix in the environment.
#
# The server and the processes that wineboot leaves running outlive this
# script, so they write to a log file: on a pipe they would hold it open.
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
