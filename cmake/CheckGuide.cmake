# Fails unless the guide shows every example file exactly: after a line
# "<!-- example: NAME -->" comes a ```cpp block holding EXAMPLES/NAME. Script
# mode: -DGUIDE=<docs/guide.md> -DEXAMPLES=<examples/guide>
file(READ ${GUIDE} guide)
file(GLOB files RELATIVE ${EXAMPLES} ${EXAMPLES}/*.cpp)
set(problems "")
foreach(name IN LISTS files)
    file(READ ${EXAMPLES}/${name} source)
    string(FIND "${guide}" "<!-- example: ${name} -->\n```cpp\n${source}```\n" at)
    if(at EQUAL -1)
        string(APPEND problems "\n  ${name}: missing from the guide, or shown differently")
    endif()
endforeach()
if(problems)
    message(FATAL_ERROR "docs/guide.md does not show the examples as they are:${problems}")
endif()
