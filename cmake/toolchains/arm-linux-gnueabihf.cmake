# 32-bit ARM (ARMv7-A, hard float, Thumb-2 code) with Debian's cross compiler
# (g++-arm-linux-gnueabihf); programs run under qemu-arm with the cross
# compiler's C library.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(UTL_TRIPLET arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L ${UTL_TARGET_ROOT})
