tk_add_test(app_tests app/mainwnd_test.cpp)
