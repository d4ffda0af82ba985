add_executable(disk_throughput ${CMAKE_CURRENT_SOURCE_DIR}/disk_throughput.cpp)
target_link_libraries(disk_throughput PRIVATE tkcore)
