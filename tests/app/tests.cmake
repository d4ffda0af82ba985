tk_add_test(app_tests app/layout_test.cpp app/mainwnd_test.cpp)
