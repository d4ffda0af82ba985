# FTP client: pure text and sequence tests, and tests against real servers on 127.0.0.1.
tk_add_test(ftp_text_tests ftp/ftptext_test.cpp)

# The scripted pyftpdlib servers and vsftpd run for the whole test run as a
# fixture; their ports and files are in this folder.
set(TK_FTP_STATE ${CMAKE_BINARY_DIR}/ftp-servers)
add_test(NAME ftp_servers_start COMMAND ${CMAKE_SOURCE_DIR}/scripts/ftp-servers start ${TK_FTP_STATE})
add_test(NAME ftp_servers_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/ftp-servers stop ${TK_FTP_STATE})
set_tests_properties(ftp_servers_start PROPERTIES FIXTURES_SETUP ftp_servers)
set_tests_properties(ftp_servers_stop PROPERTIES FIXTURES_CLEANUP ftp_servers)

tk_add_test(ftp_tests ftp/ftpsession_test.cpp ftp/ftpfailure_test.cpp ftp/ftpsafe_test.cpp)
set_tests_properties(ftp_tests PROPERTIES FIXTURES_REQUIRED ftp_servers
                     ENVIRONMENT TK_FTP_STATE=${TK_FTP_STATE})

tk_add_test(ftp_tls_tests ftp/ftptls_test.cpp)
target_link_libraries(ftp_tls_tests PRIVATE crypt32)  # the tests' own trusted roots
set_tests_properties(ftp_tls_tests PROPERTIES FIXTURES_REQUIRED ftp_servers
                     ENVIRONMENT TK_FTP_STATE=${TK_FTP_STATE})
