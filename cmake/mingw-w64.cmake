# Cross-compiling for 64-bit Windows with MinGW-w64 (posix threads, for
# std::mutex and std::thread). Programs built here run under Wine: ctest and
# gtest_discover_tests start them through CMAKE_CROSSCOMPILING_EMULATOR.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# WINEPREFIX and WINEDEBUG are taken from the environment of the build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CALYRA_MINGW_TRIPLE x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${CALYRA_MINGW_TRIPLE}-gcc-posix ${CALYRA_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${CALYRA_MINGW_TRIPLE}-g++-posix ${CALYRA_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${CALYRA_MINGW_TRIPLE}-windres REQUIRED)
find_program(CALYRA_WIDL NAMES ${CALYRA_MINGW_TRIPLE}-widl widl REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${CALYRA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Debian's wine64 package has its loader under /usr/lib/wine; the "wine"
# package adds a wrapper on the PATH.
find_program(CALYRA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(CALYRA_WINE NAMES wine64 wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CALYRA_WINE})

# The C and C++ runtimes go into every program and library, so nothing but
# system DLLs is needed beside them under Wine or on a user's machine. A DLL
# that exports all its symbols must not export the runtimes' as well.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static -Wl,--exclude-libs,ALL")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static -Wl,--exclude-libs,ALL")
