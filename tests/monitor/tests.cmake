tk_add_test(monitor_tests monitor/rules_test.cpp monitor/monitor_test.cpp monitor/catchup_test.cpp)
