# Cross toolchain for the 32-bit Windows programs (the ones Windows users download).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BREVIX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
