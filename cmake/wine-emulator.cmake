# How ctest starts the test programs of a toolchain file's build (included
# by each toolchain file once CMAKE_SYSTEM_PROCESSOR is set).
# 64-bit test programs start through Wine's 64-bit loader itself. Debian's
# /usr/bin/wine goes through the 32-bit loader first whenever wine32:i386 is
# installed, which costs about 50 s per program where the kernel runs 32-bit
# code only under qemu (tools/wine-loader.sh). 32-bit ones go through
# Debian's wine, which picks the 32-bit loader for them.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  find_program(LUMAREST_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(LUMAREST_WINE64 wine64)
endif()
if(LUMAREST_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LUMAREST_WINE64})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
