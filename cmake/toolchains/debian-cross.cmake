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
