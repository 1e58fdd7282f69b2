# Cross-building the core for 64-bit Windows with Debian's MinGW-w64 (the
# posix thread flavour, which std::thread and GoogleTest need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZR_MINGW_TRIPLE}-windres)

# Libraries and packages come from the MinGW tree (or a prefix given with
# GTest_DIR and the like), never from the Linux system.
set(CMAKE_FIND_ROOT_PATH /usr/${ZR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static, so that a test program runs under Wine without looking for the
# compiler's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest in such a build runs the programs under Wine.
find_program(ZR_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZR_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZR_WINE64})
endif()
