# Cross-compiling for i686 Windows with clang and lld on Linux, against
# mingw-w64 (cmake/clang-mingw.cmake).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(LUMAREST_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)
