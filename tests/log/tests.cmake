tk_add_test(log_tests log/writelog_test.cpp log/errordlg_test.cpp)
