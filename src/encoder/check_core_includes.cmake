# Fails when a file of the encoder core includes a header for OS, file or path work.
#   cmake -DCORE_DIR=src/encoder/core -P check_core_includes.cmake
file(GLOB SOURCES ${CORE_DIR}/*.h ${CORE_DIR}/*.cpp)
set(forbidden "windows\\.h|win32/|unistd\\.h|sys/|fcntl\\.h|io\\.h|direct\\.h|fstream|filesystem|wav/|container/|program/")
set(found "")
foreach(source IN LISTS SOURCES)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](${forbidden})")
    foreach(line IN LISTS includes)
        string(APPEND found "\n  ${source}: ${line}")
    endforeach()
endforeach()
if(found)
    message(FATAL_ERROR "the encoder core must not do file, path or OS work:${found}")
endif()
