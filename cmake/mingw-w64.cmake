# Cross-builds the Windows command line and the portable tests on Debian:
#   cmake -S . -B build-win32 -G Ninja --toolchain cmake/mingw-w64.cmake -DTARNWICK_GUI=OFF \
#     -DTARNWICK_BOARD_TABLE_TOOL=build/src/board/tarnwick-board-table
# The built-in board is written by a native build's tarnwick-board-table (the
# cross build has no yaml-cpp): build that target natively first.
# The posix thread model's compilers provide std::thread. Programs are linked
# statically, so they run under wine or on Windows without the compiler's DLLs;
# CTest runs them through wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(TARNWICK_WINE NAMES wine wine64)
if(TARNWICK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARNWICK_WINE})
endif()
