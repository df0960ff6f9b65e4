# The installed package, the same from any prefix: headers, libutl and
# libutlbss in the library directory, the crash reporter's debugging-help
# plugin in the private directory utl/ below it, a CMake package (UTL::utl,
# UTL::bss) and a pkg-config file (utl). The libraries find each other through
# libutl's run path ($ORIGIN, $ORIGIN/utl): no environment variable is needed.
#
# Install components, one Debian package each: `runtime` (libutl1), the shared
# libraries; `development` (libutl-dev), the rest; `tools` (utl-tools), the
# programs.
set(UTL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/UTL)

install(TARGETS utl utl_bss EXPORT UTLTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
# A plugin, loaded by libutl only: no link for linkers, no exported target.
install(TARGETS utl_dbghelp
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/utl COMPONENT runtime NAMELINK_SKIP)
install(DIRECTORY Include/UTL ${PROJECT_BINARY_DIR}/include/UTL
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

install(EXPORT UTLTargets NAMESPACE UTL:: DESTINATION ${UTL_CMAKE_DIR} COMPONENT development)
include(CMakePackageConfigHelpers)
configure_package_config_file(cmake/UTLConfig.cmake.in ${PROJECT_BINARY_DIR}/UTLConfig.cmake
    INSTALL_DESTINATION ${UTL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/UTLConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/UTLConfig.cmake ${PROJECT_BINARY_DIR}/UTLConfigVersion.cmake
    DESTINATION ${UTL_CMAKE_DIR} COMPONENT development)

# utl.pc is written when installing, with the prefix installed to (that of
# `cmake --install --prefix`, /usr in the packages): its flags are then plain
# paths, where a prefix relative to the file would print /usr/lib/pkgconfig/../..
install(CODE "
    set(PROJECT_VERSION ${PROJECT_VERSION})
    set(CMAKE_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR})
    set(CMAKE_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/utl.pc.in ${PROJECT_BINARY_DIR}/utl.pc @ONLY)"
    COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/utl.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
