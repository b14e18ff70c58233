# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix, the
# variant with C++ threads). The programs are linked statically, so that they run without the
# compiler's DLLs beside them; the tests run under wine64 (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# CORVIO_WIN_DEPS: where scripts/windows-deps put the libraries Debian has no MinGW build of.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${CORVIO_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
find_program(CORVIO_WINE wine64 PATHS /usr/lib/wine)
if(CORVIO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVIO_WINE})
endif()
