tk_add_test(store_tests store/store_test.cpp)
