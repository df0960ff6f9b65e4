# Runs the blocks of a document marked "<!-- run: NAME -->" (utl_doc_run).
# Script mode: -DDOC=<document> -DNAME=<test name> -DWORK_DIR=<made afresh>
#   [-DREPLACE=<from|to|...>] [-DBEFORE=<shell line>] [-DAFTER=<shell line>]
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/DocBlocks.cmake)
utl_doc_run(${DOC} ${NAME} ${WORK_DIR} "${REPLACE}" "${BEFORE}" "${AFTER}")
