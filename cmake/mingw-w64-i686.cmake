# Cross-compiles the 32-bit Windows build with mingw-w64 (posix thread model). Built for
# comparison only: these machines cannot run 32-bit programs, so nothing of it is run.
set(KORVA_MINGW_TARGET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
