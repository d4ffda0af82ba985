# End-to-end tests: the real program, the real monitor, worker and FTP client.
tk_add_test(e2e_live_backup_tests e2e/live_backup_test.cpp e2e/e2esupport.cpp)
add_dependencies(e2e_live_backup_tests tandemkeep)

# Against the test run's vsftpd: the ftp_servers fixture of tests/ftp, whose
# state folder is set here too (this list is read first).
set(TK_FTP_STATE ${CMAKE_BINARY_DIR}/ftp-servers)
tk_add_test(e2e_ftp_tests e2e/ftp_e2e_test.cpp e2e/e2esupport.cpp)
add_dependencies(e2e_ftp_tests tandemkeep)
set_tests_properties(e2e_ftp_tests PROPERTIES FIXTURES_REQUIRED ftp_servers
                     ENVIRONMENT TK_FTP_STATE=${TK_FTP_STATE})
