# live_setup: writes the registry of an installed program with one watched folder (bench/live/run.sh).
add_executable(live_setup ${CMAKE_CURRENT_LIST_DIR}/live_setup.cpp)
target_link_libraries(live_setup PRIVATE tktestsupport)
