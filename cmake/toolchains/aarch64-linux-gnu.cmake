# 64-bit ARM with Debian's cross compiler (g++-aarch64-linux-gnu); programs
# run under qemu-aarch64 with the cross compiler's C library.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(UTL_TRIPLET aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${UTL_TARGET_ROOT})
