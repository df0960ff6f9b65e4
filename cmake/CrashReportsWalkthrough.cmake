# Makes the walkthrough of docs/crash-reports.md afresh from a real run of the
# demo and compares it with the page. In WORK_DIR the demo is copied to `app`,
# its debug information split off and filed by build-id with the page's own
# commands (its blocks marked run: crash_reports_walkthrough), the stripped
# program runs and leaves its report demo.RPT, and the page's utl-symbolize
# command symbolizes it into demo.symbolized. The page's two blocks marked
# generated: crash_reports_walkthrough, the report's first fault and that
# fault's symbolized call stack, must match but for what changes with every run
# or build (addresses, offsets, build-ids, dates, the kernel, the C++ library's
# version); the build and source trees read <build> and <source>.
# Script mode: -DDOC=<page> -DDEMO=<program> -DSYMBOLIZER_DIR=<its directory>
#   -DSOURCE_DIR -DBUILD_DIR -DWORK_DIR
#   [-DUPDATE=ON: writes the fresh blocks into the page instead of comparing]
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/DocBlocks.cmake)
utl_doc_run(${DOC} crash_reports_walkthrough ${WORK_DIR} "" "cp ${DEMO} app" "./app >app.out")
utl_doc_marked(${DOC} "generated: crash_reports_walkthrough" shown)

# The text up to the end of the first fault's block, from `from` on.
set(fault_end "//=============== Exception end ===================\n")
function(first_fault text from out)
    string(FIND "${text}" "${from}" begin)
    string(FIND "${text}" "${fault_end}" end)
    if(begin EQUAL -1 OR end EQUAL -1)
        message(FATAL_ERROR "no fault with \"${from}\" in:\n${text}")
    endif()
    string(LENGTH "${fault_end}" length)
    math(EXPR length "${end} + ${length} - ${begin}")
    string(SUBSTRING "${text}" ${begin} ${length} text)
    string(REPLACE "${BUILD_DIR}" "<build>" text "${text}")
    string(REPLACE "${SOURCE_DIR}" "<source>" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(READ ${WORK_DIR}/demo.RPT report)
first_fault("${report}" "//=" fresh_0)

string(REGEX MATCH "^\\$ ([^\n]*)" command "${shown_1}")
set(command "${CMAKE_MATCH_1}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env "PATH=${SYMBOLIZER_DIR}:$ENV{PATH}"
                        bash -c "${command} >demo.symbolized"
                WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${command}: exited with ${result}")
endif()
file(READ ${WORK_DIR}/demo.symbolized symbolized)
first_fault("${symbolized}" "Call stack:\n" stack)
set(fresh_1 "$ ${command}\n...\n${stack}")

function(normalised text out)
    string(REPEAT "[0-9A-Fa-f]" 8 hex)
    string(REGEX REPLACE "${hex}[0-9A-Fa-f]*" "#" text "${text}")
    string(REGEX REPLACE "[0-9]+/[0-9]+/[0-9]+ - [0-9]+:[0-9]+:[0-9]+" "<date>" text "${text}")
    string(REGEX REPLACE "\\(Linux [^)\n]*\\)" "(Linux)" text "${text}")
    string(REGEX REPLACE "(/usr/include/[^ \n]*):[0-9]+" "\\1:#" text "${text}")
    string(REGEX REPLACE "/usr/include/c\\+\\+/[0-9]+/" "/usr/include/c++/#/" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(READ ${DOC} page)
set(stale "")
foreach(n 0 1)
    normalised("${shown_${n}}" shown)
    normalised("${fresh_${n}}" fresh)
    if(UPDATE)
        string(REPLACE "```\n${shown_${n}}```\n" "```\n${fresh_${n}}```\n" page "${page}")
    elseif(NOT shown STREQUAL fresh)
        string(APPEND stale "\n-- the page shows:\n${shown_${n}}-- the demo made:\n${fresh_${n}}")
    endif()
endforeach()
if(UPDATE)
    file(WRITE ${DOC} "${page}")
elseif(stale)
    message(FATAL_ERROR "${DOC} is stale; this writes the fresh text into it:\n"
        "  cmake -DUPDATE=ON -DDOC=${DOC} -DDEMO=${DEMO} -DSOURCE_DIR=${SOURCE_DIR}"
        " -DBUILD_DIR=${BUILD_DIR} -DWORK_DIR=${WORK_DIR} -DSYMBOLIZER_DIR=${SYMBOLIZER_DIR}"
        " -P ${CMAKE_CURRENT_LIST_FILE}${stale}")
endif()
