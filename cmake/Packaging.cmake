# Installing ruvo: the command and its manual page, which carries the version
# of project().
include(GNUInstallDirs)

install(TARGETS ruvo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
if(NOT WIN32)
  configure_file(man/ruvo.1.in ruvo.1 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/ruvo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT manual)
endif()

# The tests run the installed command and the page's examples on the build machine.
if(BUILD_TESTING AND UNIX AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME install COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install_test.sh
                                ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR})
  add_test(NAME manual_page COMMAND bash ${PROJECT_SOURCE_DIR}/tests/manual_page_test.sh
                                    ${PROJECT_BINARY_DIR}/ruvo.1 $<TARGET_FILE_DIR:ruvo>
                                    ${PROJECT_VERSION})
  # 77: groff, which renders the page, is not installed.
  set_tests_properties(manual_page PROPERTIES SKIP_RETURN_CODE 77)
endif()
