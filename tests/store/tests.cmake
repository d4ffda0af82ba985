tk_add_test(store_tests store/store_test.cpp store/statefiles_test.cpp)
