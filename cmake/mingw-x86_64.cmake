# Cross-build for 64-bit Windows. Only for testing: the shipped program is the 32-bit build
# (cmake/mingw-i686.cmake). This build runs the same code under 64-bit Wine on hosts whose
# kernel can't run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VEXA_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
