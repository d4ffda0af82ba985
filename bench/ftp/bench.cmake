# ftp_bench: one batch of every file of a folder through the FTP client alone.
# ftp_sync_bench: the main window synchronising a folder item to one FTP server,
# with a probe of the window's answers. Both are run by bench/ftp/run.sh.
add_executable(ftp_bench ${CMAKE_CURRENT_LIST_DIR}/ftp_bench.cpp)
target_link_libraries(ftp_bench PRIVATE tktestsupport)
add_executable(ftp_sync_bench ${CMAKE_CURRENT_LIST_DIR}/ftp_sync_bench.cpp ${TK_RESOURCES})
target_link_libraries(ftp_sync_bench PRIVATE tktestsupport)
# live_ftp_setup: the registry of an installed program whose watched folder has one FTP
# target (bench/ftp/rename.sh runs the real tandemkeep.exe with it).
add_executable(live_ftp_setup ${CMAKE_CURRENT_LIST_DIR}/live_ftp_setup.cpp)
target_link_libraries(live_ftp_setup PRIVATE tktestsupport)
