# The setup program, installed and uninstalled under Wine in a prefix of its
# own (a bash script, not a Windows program: no emulator). Only the 64-bit
# setup runs here; the 32-bit one needs a 32-bit Wine.
if(TARGET setup AND CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  add_test(NAME installer_tests
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install_test.sh
                   ${CMAKE_BINARY_DIR}/tandemkeep-setup.exe ${CMAKE_BINARY_DIR}/installer-test)
  set_tests_properties(installer_tests PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
endif()
