# The fenced blocks of a Markdown document, for the checks that run the
# documents (CheckDocs.cmake, RunDocBlocks.cmake, CrashReportsWalkthrough.cmake).

# utl_doc_scan(<text> <prefix>): <prefix>_COUNT blocks; for each i from 0,
# <prefix>_<i>_LINE the line of its opening fence, _MARK the line before that
# fence (spaces trimmed: the marker comment that says how the block is checked),
# _LANG the fence's language and _TEXT its lines without the fence's
# indentation, each ending in a newline.
function(utl_doc_scan text prefix)
    set(rest "\n${text}\n")
    set(line 0)  # the line that the first character of rest is on
    set(count 0)
    while(TRUE)
        string(REGEX MATCH "\n( *)```([^\n`]*)\n" fence "${rest}")
        if(NOT fence)
            break()
        endif()
        set(indent "${CMAKE_MATCH_1}")
        set(lang "${CMAKE_MATCH_2}")
        string(FIND "${rest}" "${fence}" at)
        string(SUBSTRING "${rest}" 0 ${at} before)
        string(FIND "${before}" "\n" last REVERSE)
        math(EXPR last "${last} + 1")  # 0 when before has no newline
        string(SUBSTRING "${before}" ${last} -1 mark)
        string(STRIP "${mark}" mark)
        string(REGEX MATCHALL "\n" breaks "${before}\n")
        list(LENGTH breaks n)
        math(EXPR fence_line "${line} + ${n}")

        string(LENGTH "${fence}" length)
        math(EXPR body_at "${at} + ${length} - 1")  # from the opening fence's newline
        string(SUBSTRING "${rest}" ${body_at} -1 body)
        string(FIND "${body}" "\n${indent}```\n" end)
        if(end EQUAL -1)
            message(FATAL_ERROR "line ${fence_line}: the block has no closing fence")
        endif()
        string(SUBSTRING "${body}" 1 ${end} block)  # ends in its last newline
        if(indent)
            string(REGEX REPLACE "(^|\n)${indent}" "\\1" block "${block}")
        endif()
        string(REGEX MATCHALL "\n" breaks "${block}")
        list(LENGTH breaks n)
        math(EXPR line "${fence_line} + ${n} + 1")  # the closing fence's line
        string(LENGTH "\n${indent}```" length)
        math(EXPR end "${end} + ${length}")
        string(SUBSTRING "${body}" ${end} -1 rest)  # from the closing fence's newline

        set(${prefix}_${count}_LINE ${fence_line} PARENT_SCOPE)
        set(${prefix}_${count}_MARK "${mark}" PARENT_SCOPE)
        set(${prefix}_${count}_LANG "${lang}" PARENT_SCOPE)
        set(${prefix}_${count}_TEXT "${block}" PARENT_SCOPE)
        math(EXPR count "${count} + 1")
    endwhile()
    set(${prefix}_COUNT ${count} PARENT_SCOPE)
endfunction()

# utl_doc_marked(<document file> <marker> <prefix>): the blocks of the document
# after the line "<!-- <marker> -->", in order: <prefix>_COUNT of them,
# <prefix>_<n> the text of each.
function(utl_doc_marked file marker prefix)
    file(READ ${file} text)
    utl_doc_scan("${text}" block)
    set(n 0)
    foreach(i RANGE ${block_COUNT})
        if(i LESS block_COUNT AND block_${i}_MARK STREQUAL "<!-- ${marker} -->")
            set(${prefix}_${n} "${block_${i}_TEXT}" PARENT_SCOPE)
            math(EXPR n "${n} + 1")
        endif()
    endforeach()
    if(n EQUAL 0)
        message(FATAL_ERROR "${file} has no block marked <!-- ${marker} -->")
    endif()
    set(${prefix}_COUNT ${n} PARENT_SCOPE)
endfunction()

# utl_doc_run(<document file> <test name> <work dir> <replace> [<before> [<after>]]):
# runs the blocks marked "<!-- run: <test name> -->" as one bash script in the
# work directory (made afresh), with each FROM|TO pair of the |-separated
# <replace> list applied to them in turn, between the shell lines <before> and <after>.
function(utl_doc_run file name work replace)
    set(before "")
    set(after "")
    if(ARGC GREATER 4)
        set(before "${ARGV4}")
    endif()
    if(ARGC GREATER 5)
        set(after "${ARGV5}")
    endif()
    utl_doc_marked(${file} "run: ${name}" block)
    set(script "set -ex\n${before}\n")
    math(EXPR last "${block_COUNT} - 1")
    foreach(n RANGE ${last})
        string(APPEND script "${block_${n}}")
    endforeach()
    string(REPLACE "|" ";" pairs "${replace}")
    list(LENGTH pairs length)
    if(length GREATER 0)
        math(EXPR last "${length} - 1")
        foreach(i RANGE 0 ${last} 2)
            math(EXPR j "${i} + 1")
            list(GET pairs ${i} from)
            list(GET pairs ${j} to)
            string(REPLACE "${from}" "${to}" script "${script}")
        endforeach()
    endif()
    string(APPEND script "${after}\n")
    file(REMOVE_RECURSE ${work})
    file(MAKE_DIRECTORY ${work})
    execute_process(COMMAND bash -c "${script}" WORKING_DIRECTORY ${work} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "the blocks of ${file} marked run: ${name} failed (${result})")
    endif()
endfunction()
