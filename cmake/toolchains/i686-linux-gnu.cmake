# 32-bit x86 with Debian's cross compiler (g++-i686-linux-gnu). Programs run
# natively where the kernel runs i386 programs (linked against the cross
# compiler's C library, which needs no i386 packages on the host), and under
# qemu-i386 where it does not (some kernels have 32-bit emulation switched off).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(UTL_TRIPLET i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
# Run natively, a program also needs the cross compiler's loader.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,--dynamic-linker=${UTL_TARGET_ROOT}/lib/ld-linux.so.2 ${UTL_TARGET_RPATH}")

get_property(UTL_IN_TRY_COMPILE GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT UTL_IN_TRY_COMPILE AND NOT DEFINED UTL_I386_NATIVE)
    set(probe ${CMAKE_BINARY_DIR}/i386-probe)
    file(WRITE ${probe}.c "int main(void) { return 0; }\n")
    execute_process(COMMAND ${CMAKE_C_COMPILER} ${probe}.c -o ${probe}
                            -Wl,--dynamic-linker=${UTL_TARGET_ROOT}/lib/ld-linux.so.2
                    RESULT_VARIABLE built OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND ${probe} RESULT_VARIABLE ran OUTPUT_QUIET ERROR_QUIET)
    if(built EQUAL 0 AND ran EQUAL 0)
        set(UTL_I386_NATIVE ON CACHE BOOL "i386 programs run natively here")
    else()
        set(UTL_I386_NATIVE OFF CACHE BOOL "i386 programs run natively here")
    endif()
endif()
if(DEFINED UTL_I386_NATIVE AND NOT UTL_I386_NATIVE)
    set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -L ${UTL_TARGET_ROOT})
endif()
