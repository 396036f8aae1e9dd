# 64-bit Windows with Debian's mingw-w64 cross compiler (the posix thread model, which
# std::thread and std::mutex need). Test programs run under Wine, so ctest runs them here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# wine64 itself rather than the "wine" wrapper, which nags about a missing 32-bit Wine.
find_program(ZEL_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT ZEL_WINE)
  find_program(ZEL_WINE NAMES wine64 wine)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEL_WINE})
