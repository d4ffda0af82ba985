# Shared part of the MinGW-w64 toolchain files; TK_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TK_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TK_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TK_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TK_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# CTest runs the test programs under Wine; 32-bit ones only where a 32-bit
# Wine is installed (scripts/test decides).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
