tk_add_test(folder_tests folder/folder_test.cpp)
