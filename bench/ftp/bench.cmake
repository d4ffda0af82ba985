# ftp_bench: one batch of every file of a folder to an FTP server (bench/ftp/run.sh).
add_executable(ftp_bench ${CMAKE_CURRENT_LIST_DIR}/ftp_bench.cpp)
target_link_libraries(ftp_bench PRIVATE tktestsupport)
