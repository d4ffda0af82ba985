# The setup program, installed and uninstalled under Wine in prefixes of their
# own (bash scripts, not Windows programs: no emulator). Only the 64-bit setup
# runs here; the 32-bit one needs a 32-bit Wine.
if(TARGET setup AND CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(TK_SETUP_EXE ${CMAKE_BINARY_DIR}/tandemkeep-setup.exe)
  add_test(NAME installer_tests
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install_test.sh
                   ${TK_SETUP_EXE} ${CMAKE_BINARY_DIR}/installer-test)
  # The installed program on the display: first start, then a disk copy.
  add_test(NAME installer_firstrun_tests
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/firstrun_test.sh
                   ${TK_SETUP_EXE} ${CMAKE_BINARY_DIR}/firstrun-test ${CMAKE_SOURCE_DIR})
  set_tests_properties(installer_tests installer_firstrun_tests PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
  # The demo of the README, unattended, with its own prefix and FTP server;
  # its FTP half needs the FTP client's data connection.
  if(EXISTS ${CMAKE_SOURCE_DIR}/transfer/ftpdata.cpp)
    add_test(NAME installer_demo
             COMMAND env TK_RUN_NO_BUILD=1 TK_RUN_SETUP=${TK_SETUP_EXE}
                     TK_RUN_ROOT=${CMAKE_BINARY_DIR}/demo-test
                     bash ${CMAKE_SOURCE_DIR}/scripts/run --demo)
    set_tests_properties(installer_demo PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
  endif()
endif()
