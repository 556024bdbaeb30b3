# Cross-building the Windows program on Linux with mingw-w64 (x86_64). The
# runtime (libgcc, libstdc++, winpthreads) is linked in statically so the
# program needs no DLL beside the system's own. Programs the build makes
# for Windows run under Wine when the build itself has to run them (tests).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)

# The POSIX-threads flavour: std::thread and std::mutex need it.
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_ASM_COMPILER ${MINGW_TRIPLET}-gcc-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# zlib from Debian's mingw package, linked in rather than as zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(MARIVELLE_WINE NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(MARIVELLE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MARIVELLE_WINE})
endif()
