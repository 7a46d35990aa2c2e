# Cross-building for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix, whose
# posix thread model gives std::thread and std::mutex):
#   cmake -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake -DXLT_QT=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(xlt_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${xlt_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${xlt_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${xlt_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${xlt_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The compiler's own libraries go into each program, so it runs without MinGW's DLLs beside it
# (under Wine too).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
