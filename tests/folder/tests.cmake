tk_add_test(folder_tests folder/folderitem.cpp folder/walk_test.cpp folder/progress_test.cpp)
