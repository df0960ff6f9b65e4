# Runs a guide example and compares its standard output with the lines after
# "// Output:" at the end of its source ("//   " stripped). Script mode:
#   -DPROGRAM=<emulator;...;program> -DSOURCE=<example.cpp>
execute_process(COMMAND ${PROGRAM} OUTPUT_VARIABLE actual RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${SOURCE}: the example exited with ${result}; output:\n${actual}")
endif()
file(READ ${SOURCE} text)
string(FIND "${text}" "// Output:\n" at)
if(at EQUAL -1)
    message(FATAL_ERROR "${SOURCE} has no \"// Output:\" block")
endif()
string(SUBSTRING "${text}" ${at} -1 block)
string(REGEX REPLACE "^// Output:\n" "" block "${block}")
string(REGEX REPLACE "(^|\n)//   " "\\1" expected "${block}")
if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${SOURCE}: output differs.\nexpected:\n${expected}\nactual:\n${actual}")
endif()
