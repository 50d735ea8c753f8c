# Shared by cmake/clang-mingw-x86_64.cmake and cmake/clang-mingw-i686.cmake,
# which set LUMAREST_TRIPLE first: clang 14 and lld targeting mingw-w64,
# with the same headers, C runtime and import libraries as the GCC build,
# and GCC's libstdc++ (clang does not find it by itself, because Debian keeps
# it under a "12-posix" folder).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${LUMAREST_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${LUMAREST_TRIPLE})
set(CMAKE_AR llvm-ar-14)
set(CMAKE_RANLIB llvm-ranlib-14)
# llvm-rc cannot take the resource script (see README.md, "Visual Studio"),
# so the resources come from binutils' windres, byte for byte those of the
# GCC build.
set(CMAKE_RC_COMPILER ${LUMAREST_TRIPLE}-windres)

set(_gcc /usr/lib/gcc/${LUMAREST_TRIPLE}/12-posix)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${_gcc}/include/c++ -isystem ${_gcc}/include/c++/${LUMAREST_TRIPLE}")
# ld.lld-14 is lld-14's own name for the linker (a bare "lld" would need
# Debian's unversioned lld package). lld resolves archive members in any
# order, so libstdc++'s use of winpthreads is met wherever -lpthread stands.
#
# -B makes clang link GCC's crtbegin.o and crtend.o rather than its own
# (none here): on i686, where libstdc++ unwinds with DWARF tables, it is
# crtbegin.o that registers the .eh_frame section, and without it every
# throw ends in terminate() (exit code 3). On x86_64 unwinding uses SEH
# tables and works either way.
set(_lumarest_link "-fuse-ld=lld-14 -B${_gcc} -L${_gcc} -lpthread")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_lumarest_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_lumarest_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_lumarest_link}")

set(CMAKE_FIND_ROOT_PATH /usr/${LUMAREST_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

include(${CMAKE_CURRENT_LIST_DIR}/wine-emulator.cmake)
