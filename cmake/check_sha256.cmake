# Build-time check of a generated file against the checksum it is pinned to:
#   cmake -DFILE=path -DSHA256=hex -P check_sha256.cmake
# On a mismatch the file is removed (so the next build generates it again) and the build
# fails, naming the new checksum to pin once the new output has been looked at.
file(SHA256 "${FILE}" actual)
if(NOT actual STREQUAL SHA256)
    file(REMOVE "${FILE}")
    message(FATAL_ERROR "${FILE} has changed: its SHA-256 is ${actual}, pinned ${SHA256}. "
                        "If the change is intended, look at the new file and pin the new value.")
endif()
