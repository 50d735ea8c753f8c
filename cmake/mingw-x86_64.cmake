# Cross-compiling for x86_64 Windows with mingw-w64 on Linux.
# The -posix compilers are used because the win32 thread model has no
# std::mutex, which GoogleTest needs. Test programs run through Wine's
# 64-bit loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# 64-bit test programs start through Wine's 64-bit loader itself. Debian's
# /usr/bin/wine goes through the 32-bit loader first whenever wine32:i386 is
# installed, which costs about 50 s per program where the kernel runs 32-bit
# code only under qemu (tools/wine-loader.sh).
find_program(LUMAREST_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(LUMAREST_WINE64 wine64)
if(LUMAREST_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LUMAREST_WINE64})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
