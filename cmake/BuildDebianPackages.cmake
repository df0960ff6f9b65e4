# Builds the Debian packages of a built tree configured for /usr (the target
# utl_deb runs this script with the variables below). Each install component
# becomes one package: staged under /usr, its ELF files stripped, their debug
# information moved to <package>-dbgsym (found by build-id under
# /usr/lib/debug/.build-id/), its Depends computed by dpkg-shlibdeps, packed by
# dpkg-deb.
#   BUILD_DIR OUT_DIR DEBIAN_DIR UPSTREAM_VERSION GNU_TYPE LIBDIR
#   SYMBOLS_LIST CHECK_SYMBOLS STRIP OBJCOPY READELF NM
cmake_minimum_required(VERSION 3.25)

# Package | install component. A component that installs nothing (no program
# yet in `tools`) makes no package.
set(packages "libutl1|runtime" "libutl-dev|development" "utl-tools|tools")

# The version and the maintainer are the changelog's newest entry's.
file(STRINGS ${DEBIAN_DIR}/changelog changelog)
list(GET changelog 0 head)
string(REGEX MATCH "\\(([^)]+)\\)" _ "${head}")
set(DEB_VERSION ${CMAKE_MATCH_1})
string(REPLACE "." "\\." upstream_pattern ${UPSTREAM_VERSION})
if(NOT DEB_VERSION MATCHES "^${upstream_pattern}-[0-9]+$")
    message(FATAL_ERROR
            "packaging/debian/changelog is at ${DEB_VERSION}, the project at ${UPSTREAM_VERSION}")
endif()
foreach(line IN LISTS changelog)
    if(line MATCHES "^ -- (.+>)  ")
        set(maintainer ${CMAKE_MATCH_1})
        break()
    endif()
endforeach()

execute_process(COMMAND dpkg-architecture -t${GNU_TYPE} -qDEB_HOST_ARCH
    OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)

# dpkg-shlibdeps finds the libraries of the packages being built, and their
# shlibs and symbols files, in debian/<package>/ below its working directory.
set(work ${OUT_DIR}/work)
file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${work}/debian)
file(TOUCH ${work}/debian/control)
execute_process(COMMAND gzip -9nc ${DEBIAN_DIR}/changelog
    OUTPUT_FILE ${work}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)

# Stages a component and the files Debian wants beside it.
function(stage name component)
    set(root ${work}/debian/${name})
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${root}
                            ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
                                             --component ${component}
        OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    if(NOT EXISTS ${root})
        return()
    endif()
    # Manual pages ship compressed.
    file(GLOB_RECURSE pages ${root}/usr/share/man/*)
    foreach(page IN LISTS pages)
        if(NOT page MATCHES "\\.gz$")
            execute_process(COMMAND gzip -9n ${page} COMMAND_ERROR_IS_FATAL ANY)
        endif()
    endforeach()
    file(COPY ${DEBIAN_DIR}/copyright ${work}/changelog.Debian.gz
        DESTINATION ${root}/usr/share/doc/${name})
    file(MAKE_DIRECTORY ${root}/usr/share/lintian/overrides)
    file(COPY_FILE ${DEBIAN_DIR}/lintian-overrides ${root}/usr/share/lintian/overrides/${name})
    file(MAKE_DIRECTORY ${root}/DEBIAN)
    if(EXISTS ${DEBIAN_DIR}/${name}.triggers)
        file(COPY_FILE ${DEBIAN_DIR}/${name}.triggers ${root}/DEBIAN/triggers)
    endif()
    if(EXISTS ${DEBIAN_DIR}/${name}.shlibs.in)
        configure_file(${DEBIAN_DIR}/${name}.shlibs.in ${root}/DEBIAN/shlibs @ONLY)
    endif()
    if(name STREQUAL "libutl1")
        write_symbols(${root}/usr/${LIBDIR} ${root}/DEBIAN/symbols)
    endif()
    set(staged ${staged} ${name} PARENT_SCOPE)
endfunction()

# The symbols file of the public libraries: every symbol each exports, since
# the first version. Where the exported list applies, libutl must export
# exactly the listed symbols.
function(write_symbols libdir out)
    if(SYMBOLS_LIST)
        execute_process(COMMAND ${CHECK_SYMBOLS} ${libdir}/libutl.so.1 ${SYMBOLS_LIST} ${NM}
            OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    endif()
    set(text "")
    foreach(soname libutl.so.1 libutlbss.so.1)
        execute_process(COMMAND ${NM} -D --defined-only ${libdir}/${soname}
            OUTPUT_VARIABLE lines COMMAND_ERROR_IS_FATAL ANY)
        string(REGEX MATCHALL "[^ \n]+\n" symbols "${lines}")
        list(SORT symbols)
        string(APPEND text "${soname} libutl1 #MINVER#\n* Build-Depends-Package: libutl-dev\n")
        foreach(symbol IN LISTS symbols)
            string(STRIP "${symbol}" symbol)
            string(APPEND text " ${symbol}@Base ${UPSTREAM_VERSION}\n")
        endforeach()
    endforeach()
    file(WRITE ${out} "${text}")
endfunction()

# Strips an ELF file of the package root, its debug information going to the
# -dbgsym root under its build-id; returns the build-id.
function(split_debug root dbgsym_root file out_id)
    execute_process(COMMAND ${READELF} -n ${root}/${file}
        OUTPUT_VARIABLE notes COMMAND_ERROR_IS_FATAL ANY)
    if(NOT notes MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
        message(FATAL_ERROR "${file} has no build-id")
    endif()
    set(debug ${dbgsym_root}/usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
    get_filename_component(dir ${debug} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    execute_process(COMMAND ${OBJCOPY} --only-keep-debug --compress-debug-sections
                            ${root}/${file} ${debug} COMMAND_ERROR_IS_FATAL ANY)
    file(CHMOD ${debug} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    execute_process(COMMAND ${STRIP} --remove-section=.comment --remove-section=.note
                            --strip-unneeded ${root}/${file} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${OBJCOPY} --add-gnu-debuglink=${debug} ${root}/${file}
        COMMAND_ERROR_IS_FATAL ANY)
    set(${out_id} ${CMAKE_MATCH_1}${CMAKE_MATCH_2} PARENT_SCOPE)
endfunction()

# Writes DEBIAN/control (fields given plus the computed ones) and md5sums, and
# packs the root.
function(pack root fields)
    file(GLOB_RECURSE files LIST_DIRECTORIES true RELATIVE ${root} ${root}/usr/*)
    set(kib 0)
    set(md5sums "")
    foreach(file IN LISTS files)
        if(IS_SYMLINK ${root}/${file} OR IS_DIRECTORY ${root}/${file})
            math(EXPR kib "${kib} + 1")
        else()
            file(SIZE ${root}/${file} size)
            math(EXPR kib "${kib} + (${size} + 1023) / 1024")
            file(MD5 ${root}/${file} md5)
            string(APPEND md5sums "${md5}  ${file}\n")
        endif()
    endforeach()
    file(MAKE_DIRECTORY ${root}/DEBIAN)
    file(WRITE ${root}/DEBIAN/md5sums "${md5sums}")
    string(REGEX MATCH "Package: ([^\n]+)" _ "${fields}")
    set(name ${CMAKE_MATCH_1})
    string(CONCAT computed "Source: utl\nVersion: ${DEB_VERSION}\nArchitecture: ${arch}\n"
                           "Maintainer: ${maintainer}\nInstalled-Size: ${kib}\nPriority: optional\n")
    string(REPLACE "\nDescription:" "\n${computed}Description:" fields "${fields}")
    file(WRITE ${root}/DEBIAN/control "${fields}")
    set(deb ${OUT_DIR}/${name}_${DEB_VERSION}_${arch}.deb)
    execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${root} ${deb}
        OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    message(STATUS ${deb})
endfunction()

set(staged "")
foreach(entry IN LISTS packages)
    string(REPLACE "|" ";" entry ${entry})
    stage(${entry})
endforeach()

foreach(name IN LISTS staged)
    set(root ${work}/debian/${name})
    set(dbgsym_root ${work}/dbgsym/${name})
    file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${root} ${root}/usr/*)
    set(elf_files "")
    set(build_ids "")
    foreach(file IN LISTS files)
        if(NOT IS_SYMLINK ${root}/${file})
            file(READ ${root}/${file} magic LIMIT 4 HEX)
            if(magic STREQUAL "7f454c46")
                split_debug(${root} ${dbgsym_root} ${file} id)
                list(APPEND elf_files -e${root}/${file})
                list(APPEND build_ids ${id})
            endif()
        endif()
    endforeach()

    file(READ ${DEBIAN_DIR}/${name}.control.in fields)
    string(CONFIGURE "${fields}" fields @ONLY)
    if(elf_files)
        execute_process(COMMAND dpkg-shlibdeps -O -x${name} -S${work}/debian/libutl1 ${elf_files}
            WORKING_DIRECTORY ${work} OUTPUT_VARIABLE shlibdeps COMMAND_ERROR_IS_FATAL ANY)
        string(REGEX MATCH "shlibs:Depends=([^\n]*)" _ "${shlibdeps}")
        set(depends ${CMAKE_MATCH_1})
        if(fields MATCHES "\nDepends: ([^\n]*)")
            set(depends "${CMAKE_MATCH_1}, ${depends}")
            string(REPLACE "${CMAKE_MATCH_0}" "" fields "${fields}")
        endif()
        string(REPLACE "\nDescription:" "\nDepends: ${depends}\nDescription:" fields "${fields}")
    endif()
    pack(${root} "${fields}")

    if(build_ids)
        # As Debian's own: co-installable for several architectures when the
        # package is, its documentation that of the package.
        list(JOIN build_ids " " build_ids)
        string(REGEX MATCH "Multi-Arch: same\n" multiarch "${fields}")
        file(MAKE_DIRECTORY ${dbgsym_root}/usr/share/doc)
        file(CREATE_LINK ${name} ${dbgsym_root}/usr/share/doc/${name}-dbgsym SYMBOLIC)
        string(CONCAT fields "Package: ${name}-dbgsym\nAuto-Built-Package: debug-symbols\n"
                             "Section: debug\n${multiarch}Depends: ${name} (= ${DEB_VERSION})\n"
                             "Build-Ids: ${build_ids}\nDescription: debug symbols for ${name}\n")
        pack(${dbgsym_root} "${fields}")
    endif()
endforeach()
