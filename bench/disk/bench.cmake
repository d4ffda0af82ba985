# disk_throughput: one large file through the disk copy (bench/disk/run.sh).
add_executable(disk_throughput ${CMAKE_CURRENT_LIST_DIR}/disk_throughput.cpp)
target_link_libraries(disk_throughput PRIVATE tkcore)
