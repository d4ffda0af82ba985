tk_add_test(monitor_tests monitor/paths_test.cpp monitor/intake_test.cpp monitor/builtin_test.cpp
            monitor/link_test.cpp monitor/monitor_support.cpp)
