# End-to-end tests: the real program, the real monitor, worker and FTP client.
tk_add_test(e2e_live_backup_tests e2e/live_backup_test.cpp)
add_dependencies(e2e_live_backup_tests tandemkeep)
