tk_add_test(monitor_tests monitor/paths_test.cpp monitor/intake_test.cpp monitor/builtin_test.cpp
            monitor/link_test.cpp monitor/monitor_support.cpp)
# Runs itself again as a Windows 9x program (its own main).
tk_add_test(monitor_win9x_tests monitor/win9x_test.cpp monitor/monitor_support.cpp)
