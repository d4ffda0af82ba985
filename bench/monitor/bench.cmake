# monitor_bench: change-to-queue latency and bursts through the built-in monitor (bench/monitor/run.sh).
add_executable(monitor_bench ${CMAKE_CURRENT_LIST_DIR}/monitor_bench.cpp)
target_link_libraries(monitor_bench PRIVATE tktestsupport)
