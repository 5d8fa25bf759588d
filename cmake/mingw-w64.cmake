# Cross-building the Windows executable with MinGW-w64 (Debian packages
# g++-mingw-w64-x86-64-posix and binutils-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#   cmake --build build-windows
# The tests run under wine (see tests/wine/).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TILVARO_MINGW_PREFIX x86_64-w64-mingw32 CACHE STRING "Target triple of the MinGW-w64 tools")
# The -posix compilers: their C++ runtime has std::thread and std::mutex.
set(CMAKE_C_COMPILER ${TILVARO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TILVARO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TILVARO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TILVARO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in statically (libgcc, libstdc++, winpthread): the
# executable needs no DLL besides those of Windows itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
