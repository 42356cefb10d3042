# Cross-builds the libraries below the window, their tests and ostrel-cli.exe for 64-bit
# Windows with Debian's mingw-w64 (the posix thread model: std::thread, std::mutex and
# std::condition_variable need it). Everything is linked statically, so ostrel-cli.exe is one
# file that runs on any Windows 10 or later without further DLLs.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# scripts/windows.sh does that, builds, and runs the tests under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
# A prefix given with -DCMAKE_FIND_ROOT_PATH (Qt for Windows) is searched first.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests registered with ctest run under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# The window links the runtime's DLLs instead, as Qt's DLLs do (ostrel_shared_runtime).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
# Windows 10 and later: the serial and thread calls used are all there.
add_compile_definitions(_WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX)
