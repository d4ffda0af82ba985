tk_add_test(dialogs_rules_tests dialogs/rules_test.cpp)
tk_add_test(dialogs_tests dialogs/dialogs_test.cpp)
