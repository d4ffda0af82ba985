# start_setup: the registry of an installed program with many items and the catch-up on, and
# full state files (bench/start/run.sh).
add_executable(start_setup ${CMAKE_CURRENT_LIST_DIR}/start_setup.cpp)
target_link_libraries(start_setup PRIVATE tktestsupport)
# start_probe: when the main window first answers, its waits, and the process's memory.
add_executable(start_probe ${CMAKE_CURRENT_LIST_DIR}/start_probe.cpp)
target_link_libraries(start_probe PRIVATE psapi winmm)
