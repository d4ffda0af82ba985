# retry_bench: loading 100,000 pending copies and stored versions, and the catch-up over a large
# folder, timed, with its memory (run by bench/retry/run.sh).
add_executable(retry_bench ${CMAKE_CURRENT_LIST_DIR}/retry_bench.cpp)
target_link_libraries(retry_bench PRIVATE tktestsupport)
# outage_setup: the registry of an installed program with one FTP target (bench/retry/outage.sh).
add_executable(outage_setup ${CMAKE_CURRENT_LIST_DIR}/outage_setup.cpp)
target_link_libraries(outage_setup PRIVATE tktestsupport)
