# What the cross toolchains share: Debian's cross compiler for the triplet
# UTL_TRIPLET, the target's libraries, headers and packages found under its
# root only, the build machine's programs.
set(CMAKE_SYSTEM_NAME Linux)
set(UTL_TARGET_ROOT /usr/${UTL_TRIPLET})
set(CMAKE_C_COMPILER ${UTL_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${UTL_TRIPLET}-g++)
set(CMAKE_FIND_ROOT_PATH ${UTL_TARGET_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The cross compiler's libraries serve every program and the libraries it
# loads (a DT_RPATH, searched before the loader's cache): where the target's
# Debian packages are installed too (multiarch, as the package builds do), the
# cache would hand an emulated program their C library beside the cross
# compiler's loader, and the two must come from one build.
set(UTL_TARGET_RPATH "-Wl,--disable-new-dtags,-rpath,${UTL_TARGET_ROOT}/lib")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${UTL_TARGET_RPATH})
