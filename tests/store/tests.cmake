tk_add_test(store_tests store/keyname_test.cpp store/settings_test.cpp store/targets_test.cpp
            store/regvalue_test.cpp)
