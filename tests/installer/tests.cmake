# The setup program of this build, installed and uninstalled under Wine in
# 64-bit prefixes of their own (bash scripts, not Windows programs: no
# emulator). The i686 build's setup is a 32-bit program: scripts/test runs
# this build's tests only where a 32-bit Wine is installed.
if(TARGET setup)
  set(TK_SETUP_EXE ${CMAKE_BINARY_DIR}/tandemkeep-setup.exe)
  add_test(NAME installer_tests
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install_test.sh ${CMAKE_SYSTEM_PROCESSOR}
                   ${TK_SETUP_EXE} ${CMAKE_BINARY_DIR}/installer-test)
  # The installed program on the display: first start, then a disk copy.
  add_test(NAME installer_firstrun_tests
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/firstrun_test.sh ${CMAKE_SYSTEM_PROCESSOR}
                   ${TK_SETUP_EXE} ${CMAKE_BINARY_DIR}/firstrun-test ${CMAKE_SOURCE_DIR})
  set_tests_properties(installer_tests installer_firstrun_tests PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
  # The demo of the README, unattended, with its own prefix and FTP server.
  add_test(NAME installer_demo
           COMMAND env TK_RUN_NO_BUILD=1 TK_RUN_ARCH=${CMAKE_SYSTEM_PROCESSOR} TK_RUN_SETUP=${TK_SETUP_EXE}
                   TK_RUN_ROOT=${CMAKE_BINARY_DIR}/demo-test
                   bash ${CMAKE_SOURCE_DIR}/scripts/run --demo)
  set_tests_properties(installer_demo PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
endif()
