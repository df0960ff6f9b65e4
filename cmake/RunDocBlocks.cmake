# Runs the blocks of a document marked "<!-- run: NAME -->" (utl_doc_run).
# Script mode: -DDOC=<document> -DNAME=<test name> -DWORK_DIR=<made afresh>
#   [-DREPLACE=<from|to|...>] [-DBEFORE=<shell line>] [-DAFTER=<shell line>]
#   [-DREQUIRES=<programs, |-separated>] [-DSKIP=<reason>]: skipped, saying so,
#   without one of the programs or with a reason
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/DocBlocks.cmake)
if(SKIP)
    message("SKIPPED: ${SKIP}")
    return()
endif()
string(REPLACE "|" ";" programs "${REQUIRES}")
foreach(program IN LISTS programs)
    find_program(found_${program} ${program})
    if(NOT found_${program})
        message("SKIPPED: ${NAME} needs ${program}")
        return()
    endif()
endforeach()
utl_doc_run(${DOC} ${NAME} ${WORK_DIR} "${REPLACE}" "${BEFORE}" "${AFTER}")
