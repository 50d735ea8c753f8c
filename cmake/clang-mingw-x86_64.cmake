# Cross-compiling for x86_64 Windows with clang and lld on Linux, against
# mingw-w64 (cmake/clang-mingw.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LUMAREST_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)
