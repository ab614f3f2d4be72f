# Cross-builds the Windows programs on Debian with MinGW-w64 (x86-64, POSIX thread model, so
# std::thread and std::mutex exist). Everything links statically: the .exe files need no DLL
# beyond those Windows ships.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(POSTVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${POSTVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${POSTVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${POSTVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${POSTVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and build-time tools run through Wine (scripts/wine-run.sh keeps output in files and
# uses the prefix in WINEPREFIX).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
