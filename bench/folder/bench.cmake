# folder_bench: a whole-folder transfer to one disk target, timed, with its memory (run by bench/folder/run.sh).
add_executable(folder_bench ${CMAKE_CURRENT_LIST_DIR}/folder_bench.cpp ${TK_RESOURCES})
target_link_libraries(folder_bench PRIVATE tktestsupport)
