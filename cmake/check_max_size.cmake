# Build-time check of a program's size against its budget:
#   cmake -DFILE=path -DMAX_KIB=n -P check_max_size.cmake
# Fails the build when the file is larger, e.g. when a change brings a large part of the
# static C++ runtime (streams, locales) into a Windows program. The file is removed, so that
# the next build links it again and checks it again.
file(SIZE "${FILE}" size)
math(EXPR max_bytes "${MAX_KIB} * 1024")
if(size GREATER max_bytes)
    file(REMOVE "${FILE}")
    math(EXPR kib "(${size} + 1023) / 1024")
    message(FATAL_ERROR "${FILE} is ${size} bytes (${kib} KiB), over its budget of ${MAX_KIB} "
                        "KiB. A linker map (-Wl,-Map=file) shows which object brought in what.")
endif()
