# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (POSIX threads variant, so
# std::thread and std::mutex work). The programs are linked statically: they need nothing but
# the system's own DLLs. Test programs run under Wine through the cross-compiling emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLLs beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(KORVEX_WINE NAMES wine wine64)
if(KORVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVEX_WINE})
endif()
