# Cross-compiles the Windows programs with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix):
# 64-bit Windows 10 and later, the C++ runtime linked statically so that each program is one .exe
# that needs no DLL beyond the system's. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TSMERGE_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model: std::thread and std::mutex come from winpthread (linked statically).
set(CMAKE_C_COMPILER ${TSMERGE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TSMERGE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TSMERGE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TSMERGE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 10 APIs; Unicode (wide-character) calls unless a name says otherwise.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the test programs under Wine (the top CMakeLists.txt gives it a prefix of its own).
find_program(TSMERGE_WINE NAMES wine wine64)
