tk_add_test(log_tests log/log_test.cpp)
