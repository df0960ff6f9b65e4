# The target utl_deb: Debian packages of the install components, in
# <build>/packages. They need a tree configured for /usr, where GNUInstallDirs
# picks the multiarch library directory (lib/<triplet>): the `deb` preset,
# `cmake --workflow --preset deb`. packaging/debian/ holds the packages'
# control fields, changelog and copyright; cmake/BuildDebianPackages.cmake
# stages, strips and packs them.
# Where they cannot be made, utl_deb fails saying why.
function(utl_deb_refused why)
    add_custom_target(utl_deb
        COMMAND ${CMAKE_COMMAND} -E echo "utl_deb: ${why}"
        COMMAND ${CMAKE_COMMAND} -E false
        VERBATIM)
endfunction()
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    utl_deb_refused("Debian packages install to /usr: configure with \
-DCMAKE_INSTALL_PREFIX=/usr, or run cmake --workflow --preset deb")
    return()
endif()
# dpkg-dev's tools compute the dependencies and the architecture; the tree
# configured for /usr says at once when they are missing.
find_program(UTL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT UTL_DPKG_SHLIBDEPS)
    set(why "the Debian packages need dpkg-dev: apt-get install --no-install-recommends dpkg-dev")
    message(WARNING "utl_deb: ${why}")
    utl_deb_refused("${why}")
    return()
endif()

# The exported list is that of x86-64 built by g++; there the packaged libutl
# must export exactly the listed symbols (elsewhere some types demangle
# differently, and the symbols file lists what the library exports).
set(UTL_DEB_SYMBOLS "")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set(UTL_DEB_SYMBOLS ${PROJECT_SOURCE_DIR}/tests/libutl.symbols)
endif()

add_custom_target(utl_deb
    COMMAND ${CMAKE_COMMAND}
            -DBUILD_DIR=${PROJECT_BINARY_DIR} -DOUT_DIR=${PROJECT_BINARY_DIR}/packages
            -DDEBIAN_DIR=${PROJECT_SOURCE_DIR}/packaging/debian
            -DUPSTREAM_VERSION=${PROJECT_VERSION} -DGNU_TYPE=${CMAKE_LIBRARY_ARCHITECTURE}
            -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DSYMBOLS_LIST=${UTL_DEB_SYMBOLS}
            -DCHECK_SYMBOLS=${PROJECT_SOURCE_DIR}/tests/check_symbols.sh
            -DSTRIP=${CMAKE_STRIP} -DOBJCOPY=${CMAKE_OBJCOPY} -DREADELF=${CMAKE_READELF}
            -DNM=${CMAKE_NM}
            -P ${PROJECT_SOURCE_DIR}/cmake/BuildDebianPackages.cmake
    USES_TERMINAL VERBATIM)
add_dependencies(utl_deb utl utl_bss utl_dbghelp)
