# What both Windows toolchains share; each toolchain file sets BREVIX_MINGW_TRIPLET first.
# MinGW-w64 with POSIX threads (GoogleTest and std::thread need them), everything linked
# statically so the executables need only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${BREVIX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BREVIX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${BREVIX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BREVIX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the Windows test programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
