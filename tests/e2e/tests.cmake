# End-to-end tests: the real program, its monitor, worker, disk copy and FTP
# client, against vsftpd of the ftp_servers fixture (tests/ftp/tests.cmake).
tk_add_test(e2e_tests e2e/program_test.cpp e2e/ftp_e2e_test.cpp)
add_dependencies(e2e_tests tandemkeep)
set(TK_FTP_STATE ${CMAKE_BINARY_DIR}/ftp-servers)
set_tests_properties(e2e_tests PROPERTIES FIXTURES_REQUIRED ftp_servers
                     ENVIRONMENT "TK_FTP_STATE=${TK_FTP_STATE};TK_FTP_SERVERS=${CMAKE_SOURCE_DIR}/scripts/ftp-servers")
