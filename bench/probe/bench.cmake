# window_probe: the main window's answer times, probed from outside (bench/live and bench/disk).
add_executable(window_probe ${CMAKE_CURRENT_LIST_DIR}/window_probe.cpp)
