tk_add_test(app_tests app/layout_test.cpp app/mainwnd_test.cpp app/startup_test.cpp)
add_dependencies(app_tests tandemkeep)
# The real program, as the start-up tests launch it (Wine's Z: is the Linux root).
target_compile_definitions(app_tests PRIVATE TK_PROGRAM_PATH="Z:$<TARGET_FILE:tandemkeep>")
