# Runs the benchmark programs and writes docs/performance.md: each row is the
# library's time divided by its comparison's, both measured in the same
# process run (median CPU time of the repetitions, which the program
# interleaves at random; wall time for the multi-threaded rows). Every program
# runs RUNS times; a row shows the median of its runs' ratios, and each run's
# ratio beside it. Run through the bench preset:
#   cmake --preset bench && cmake --build --preset bench --target utl_performance_report
# Script mode, with -DBENCH_DIR=<directory of the programs> -DOUT=<markdown file>
# [-DREPETITIONS=<n>] [-DRUNS=<n>] [-DMIN_TIME=<seconds per repetition>]
# [-DPROGRAMS=<program;...>] [-DFILTER=<benchmark regex>] (rows left out then
# read "not measured").
if(NOT REPETITIONS OR REPETITIONS LESS 2)  # medians need two runs at least
    set(REPETITIONS 5)
endif()
if(NOT RUNS OR RUNS LESS 1)
    set(RUNS 3)
endif()
set(options --benchmark_repetitions=${REPETITIONS})
if(MIN_TIME)
    list(APPEND options --benchmark_min_time=${MIN_TIME})
endif()
if(FILTER)
    list(APPEND options --benchmark_filter=${FILTER})
endif()
if(NOT PROGRAMS)
    set(PROGRAMS bench_logging bench_format bench_stringc bench_widetext bench_mjd bench_crash)
endif()

# Rows: work | comparison | program | library benchmark | comparison benchmark | goal
set(rows
    "`Log` accepted by no sink, 1 thread|spdlog, level disabled|bench_logging|BM_UTL_Log_Disabled/real_time/threads:1|BM_spdlog_Log_Disabled/real_time/threads:1|<= 1.0"
    "`Log` accepted by no sink, 2 threads|spdlog, level disabled|bench_logging|BM_UTL_Log_Disabled/real_time/threads:2|BM_spdlog_Log_Disabled/real_time/threads:2|<= 1.0"
    "`StringC::Mid`, 40 units|`std::u16string::substr`|bench_stringc|BM_Mid_StringC/40|BM_Mid_U16/40|<= 1.0"
    "`StringC::Mid`, 400 units|`std::u16string::substr`|bench_stringc|BM_Mid_StringC/400|BM_Mid_U16/400|<= 1.0"
    "`+=` ten times, 16-unit pieces|`std::u16string`|bench_stringc|BM_AppendTen_StringC|BM_AppendTen_U16|<= 1.0"
    "`+=` ten times, 1-unit text|`std::u16string`|bench_stringc|BM_AppendTenUnits_StringC|BM_AppendTenUnits_U16|<= 1.0"
    "construct from a 5-unit text|`std::u16string`|bench_stringc|BM_Construct_StringC/5|BM_Construct_U16/5|<= 1.0"
    "assign a 5-unit text|`std::u16string`|bench_stringc|BM_AssignText_StringC/5|BM_AssignText_U16/5|<= 1.0"
    "construct from a 5-unit text|QString `fromUtf16`|bench_stringc|BM_Construct_StringC/5|BM_Construct_QString/5|<= 1.0"
    "construct from a 40-unit text|QString `fromUtf16`|bench_stringc|BM_Construct_StringC/40|BM_Construct_QString/40|<= 1.0"
    "copy, 5 units|QString|bench_stringc|BM_Copy_StringC/5|BM_Copy_QString/5|<= 1.0"
    "assign, 5 units|QString|bench_stringc|BM_Assign_StringC/5|BM_Assign_QString/5|<= 1.0"
    "assign a 5-unit text|QString `setUtf16`|bench_stringc|BM_AssignText_StringC/5|BM_AssignText_QString/5|<= 1.0"
    "assign a 40-unit text|QString `setUtf16`|bench_stringc|BM_AssignText_StringC/40|BM_AssignText_QString/40|<= 1.0"
    "one 10-unit `+=` onto an empty string|`std::u16string`|bench_stringc|BM_AppendOnce_StringC|BM_AppendOnce_U16|<= 1.0"
    "one 10-unit `+=` onto an empty string|QString|bench_stringc|BM_AppendOnce_StringC|BM_AppendOnce_QString|<= 1.0"
    "`+=` ten times, 16-unit pieces|QString|bench_stringc|BM_AppendTen_StringC|BM_AppendTen_QString|<= 1.0"
    "`+=` ten times, 1-unit text|QString|bench_stringc|BM_AppendTenUnits_StringC|BM_AppendTenUnits_QString|<= 1.0"
    "`Find` of a unit in 40 units|`std::u16string::find`|bench_stringc|BM_Find_StringC/40|BM_Find_U16/40|<= 1.0"
    "`Find` of a unit in 400 units|`std::u16string::find`|bench_stringc|BM_Find_StringC/400|BM_Find_U16/400|<= 1.0"
    "`Find` of a unit in 40 units|QString `indexOf`|bench_stringc|BM_Find_StringC/40|BM_Find_QString/40|<= 1.0"
    "`Find` of a unit in 400 units|QString `indexOf`|bench_stringc|BM_Find_StringC/400|BM_Find_QString/400|<= 1.0"
    "`StringC::Mid`, 40 units|QString `mid`|bench_stringc|BM_Mid_StringC/40|BM_Mid_QString/40|<= 1.0"
    "`Format(u\"%s: %d\")`, 40-unit text|QString `asprintf`|bench_stringc|BM_Format_StringC/40|BM_Format_QString/40|<= 1.0"
    "assign, 5 units|`std::u16string`|bench_stringc|BM_Assign_StringC/5|BM_Assign_U16/5|<= 1.0"
    "assign, 40 units|`std::u16string`|bench_stringc|BM_Assign_StringC/40|BM_Assign_U16/40|<= 1.0"
    "copy, 5 units|`std::u16string`|bench_stringc|BM_Copy_StringC/5|BM_Copy_U16/5|<= 1.0"
    "`lwcslen`, 5 units|`char_traits<char16_t>::length`|bench_widetext|BM_lwcslen/5|BM_CharTraitsLength/5|<= 1.0"
    "`lwcslen`, 40 units|`char_traits<char16_t>::length`|bench_widetext|BM_lwcslen/40|BM_CharTraitsLength/40|<= 0.5"
    "`lwcslen`, 400 units|`char_traits<char16_t>::length`|bench_widetext|BM_lwcslen/400|BM_CharTraitsLength/400|<= 0.5"
    "`lwcslen`, 4000 units|`char_traits<char16_t>::length`|bench_widetext|BM_lwcslen/4000|BM_CharTraitsLength/4000|<= 0.5"
    "`lwcscmp`, 5 units|`char_traits<char16_t>::compare`|bench_widetext|BM_lwcscmp/5|BM_CharTraitsCompare/5|<= 1.0"
    "`lwcscmp`, 40 units|`char_traits<char16_t>::compare`|bench_widetext|BM_lwcscmp/40|BM_CharTraitsCompare/40|<= 0.5"
    "`lwcscmp`, 400 units|`char_traits<char16_t>::compare`|bench_widetext|BM_lwcscmp/400|BM_CharTraitsCompare/400|<= 0.5"
    "`lwcsstr`, 5 units|`u16string_view::find`|bench_widetext|BM_lwcsstr/5|BM_U16ViewFind/5|<= 1.0"
    "`lwcsstr`, 400 units|`u16string_view::find`|bench_widetext|BM_lwcsstr/400|BM_U16ViewFind/400|kept"
    "`lswscanf` `%d,%d`|`swscanf`|bench_widetext|BM_Pair_lswscanf|BM_Pair_swscanf|<= 1.0"
    "`lswscanf` `%d,%d`|`sscanf`|bench_widetext|BM_Pair_lswscanf|BM_Pair_sscanf|<= 1.2"
    "`lswscanf` five fields|`swscanf`|bench_widetext|BM_Line_lswscanf|BM_Line_swscanf|<= 1.0"
    "`lswscanf` five fields|`sscanf`|bench_widetext|BM_Line_lswscanf|BM_Line_sscanf|<= 1.2"
    "`lswprintf`, 4 directives|{fmt} `format_to_n` into `char16_t[]`|bench_format|BM_Four_lswprintf|BM_Four_fmt|<= 0.8"
    "`lswprintf`, 10 directives|{fmt} `format_to_n` into `char16_t[]`|bench_format|BM_Ten_lswprintf|BM_Ten_fmt|<= 1.0"
    "`StringC::Format(u\"%d-%s\")`|{fmt} `fmt::format(u\"{}-{}\")`|bench_format|BM_IntText_Format|BM_IntText_fmt|<= 1.0"
    "`StringC::Format(u\"%d-%s\")`|QString `asprintf`|bench_format|BM_IntText_Format|BM_IntText_QString|<= 1.0"
    "`StringC::Format(u\"%d-%s\")`|`snprintf` + widening|bench_format|BM_IntText_Format|BM_IntText_snprintf|<= 0.6"
    "`StringC::Format`, 2 threads|the same, 1 thread|bench_format|BM_IntText_Format/real_time/threads:2|BM_IntText_Format/real_time/threads:1|<= 1.0"
    "`lswprintf`, mixed directives|`snprintf`|bench_widetext|BM_Mixed_lswprintf|BM_Mixed_snprintf|kept"
    "`lswprintf`, ten numbers|`snprintf`|bench_widetext|BM_Ten_lswprintf|BM_Ten_snprintf|kept"
    "`GetMjd`, date and time|ERFA `eraCal2jd` + `eraTf2d`|bench_mjd|BM_GetMjd|BM_ERFA_Cal2jd_Tf2d|kept"
    "`SetMjd`, date and time|ERFA `eraJd2cal` + `eraD2tf`|bench_mjd|BM_SetMjd|BM_ERFA_Jd2cal_D2tf|kept"
    "file sink, integer and text|spdlog `basic_logger_mt`|bench_logging|BM_UTL_FileSink_IntStr|BM_spdlog_FileSink_IntStr|kept"
    "file sink, `%.3f`|spdlog `basic_logger_mt`|bench_logging|BM_UTL_FileSink_Float|BM_spdlog_FileSink_Float|kept"
    "file sink, one line, 2 threads|spdlog `basic_logger_mt`|bench_logging|BM_UTL_FileSink_Threads/real_time/threads:2|BM_spdlog_FileSink_Threads/real_time/threads:2|<= 1.0"
)
# Absolute times: work | program | benchmark | goal
set(absolute
    "fault to catch, report on disk, frame-pointer walk|bench_crash|BM_FaultReport/symbols:0/memfs:0|< 2 ms"
    "fault to catch, report on disk, symbol walk (warm)|bench_crash|BM_FaultReport/symbols:1/memfs:0|< 2 ms"
    "fault to catch, no report (signal and unwinding alone)|bench_crash|BM_FaultBareTranslation|"
)

# Runs one program (run number `run`) and keeps each benchmark's median as
# time_<run>_<name> and its unit as unit_<name> (the name made an identifier).
function(run_program program run)
    set(json ${BENCH_DIR}/${program}.${run}.json)
    set(interleaving --benchmark_enable_random_interleaving=true)
    if(program STREQUAL "bench_crash")
        set(interleaving "")  # its fault benchmarks hang when interleaved; absolute times only
    endif()
    execute_process(COMMAND ${BENCH_DIR}/${program} ${options} ${interleaving}
                            --benchmark_report_aggregates_only=true
                            --benchmark_out=${json} --benchmark_out_format=json
                    OUTPUT_QUIET RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${program} failed")
    endif()
    file(READ ${json} text)
    string(JSON count LENGTH "${text}" benchmarks)
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
        string(JSON aggregate ERROR_VARIABLE none GET "${text}" benchmarks ${i} aggregate_name)
        if(NOT aggregate STREQUAL "median")
            continue()
        endif()
        string(JSON name GET "${text}" benchmarks ${i} run_name)
        string(JSON unit GET "${text}" benchmarks ${i} time_unit)
        if(name MATCHES "/real_time")
            string(JSON value GET "${text}" benchmarks ${i} real_time)
        else()
            string(JSON value GET "${text}" benchmarks ${i} cpu_time)
        endif()
        string(MAKE_C_IDENTIFIER "${name}" id)
        set(time_${run}_${id} "${value}" PARENT_SCOPE)
        set(unit_${id} "${unit}" PARENT_SCOPE)
    endforeach()
    set(context "${text}" PARENT_SCOPE)
endfunction()

# Arithmetic on the benchmarks' floating-point numbers, through awk.
function(calculate out expression)
    execute_process(COMMAND awk "BEGIN { ${expression} }" OUTPUT_VARIABLE value
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# "12.3 ns" from a time and its unit.
function(format_time out value unit)
    calculate(short "printf \"%.1f\", ${value}")
    set(${out} "${short} ${unit}" PARENT_SCOPE)
endfunction()

# a / b with two decimals.
function(ratio out a b)
    calculate(r "printf \"%.2f\", ${a} / ${b}")
    set(${out} "${r}" PARENT_SCOPE)
endfunction()

# The median of a list of numbers.
function(median out)
    string(REPLACE ";" " " values "${ARGN}")
    calculate(m "n = split(\"${values}\", v, \" \"); \
        for (i = 2; i <= n; ++i) for (j = i; j > 1 && v[j - 1] > v[j]; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }; \
        print (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2)")
    set(${out} "${m}" PARENT_SCOPE)
endfunction()

# The runs' times of benchmark `id` (an identifier), in `out`.
function(times_of out id)
    set(times "")
    foreach(run RANGE 1 ${RUNS})
        if(DEFINED time_${run}_${id})
            list(APPEND times "${time_${run}_${id}}")
        endif()
    endforeach()
    set(${out} "${times}" PARENT_SCOPE)
endfunction()

# Program after program, the whole round RUNS times, so that a slow moment of
# the machine falls on one run of every row rather than on every run of one.
foreach(run RANGE 1 ${RUNS})
    foreach(program IN LISTS PROGRAMS)
        message(STATUS "running ${program}, run ${run} of ${RUNS}")
        run_program(${program} ${run})
    endforeach()
endforeach()

string(JSON host GET "${context}" context host_name)
string(JSON cpus GET "${context}" context num_cpus)
string(JSON mhz GET "${context}" context mhz_per_cpu)
string(JSON date GET "${context}" context date)
execute_process(COMMAND sh -c "sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -n 1"
                OUTPUT_VARIABLE cpu OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND sh -c
    "dpkg-query -W -f='\${Package} \${Version}; ' libspdlog-dev libfmt-dev libqt6core6 liberfa-dev libbenchmark-dev libc6 libstdc++6 g++ 2>/dev/null"
    OUTPUT_VARIABLE versions OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE ";$" "" versions "${versions}")

set(per "")
if(MIN_TIME)
    set(per " of at least ${MIN_TIME} s")
endif()
set(md "# Performance\n\n")
string(APPEND md "Library time / comparison time, both measured in the same process run (above 1 = "
                 "slower): Release build; in each run the median of ${REPETITIONS} repetitions${per}, "
                 "interleaved at random, CPU time (wall time for the rows with threads); the "
                 "ratio is the median of ${RUNS} runs' ratios, the times the median of their "
                 "times. Regenerate with\n"
                 "`cmake --preset bench && cmake --build --preset bench --target utl_performance_report`.\n\n"
                 "Measured ${date} on ${cpu} (${cpus} CPUs at ${mhz} MHz, host ${host}); "
                 "${versions}\n\n"
                 "| Work | Comparison | Library | Comparison | Ratio | Runs | Goal |\n"
                 "|---|---|---|---|---|---|---|\n")
foreach(row IN LISTS rows)
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 work)
    list(GET fields 1 against)
    list(GET fields 3 ours)
    list(GET fields 4 theirs)
    list(GET fields 5 goal)
    string(MAKE_C_IDENTIFIER "${ours}" ours)
    string(MAKE_C_IDENTIFIER "${theirs}" theirs)
    set(ratios "")
    foreach(run RANGE 1 ${RUNS})
        if(DEFINED time_${run}_${ours} AND DEFINED time_${run}_${theirs})
            ratio(r "${time_${run}_${ours}}" "${time_${run}_${theirs}}")
            list(APPEND ratios "${r}")
        endif()
    endforeach()
    if(NOT ratios)
        string(APPEND md "| ${work} | ${against} | - | - | not measured | | ${goal} |\n")
        continue()
    endif()
    times_of(ourTimes ${ours})
    times_of(theirTimes ${theirs})
    median(ourTime ${ourTimes})
    median(theirTime ${theirTimes})
    median(r ${ratios})
    calculate(r "printf \"%.2f\", ${r}")
    format_time(a "${ourTime}" "${unit_${ours}}")
    format_time(b "${theirTime}" "${unit_${theirs}}")
    string(REPLACE ";" ", " runs "${ratios}")
    string(APPEND md "| ${work} | ${against} | ${a} | ${b} | ${r} | ${runs} | ${goal} |\n")
endforeach()
string(APPEND md "\n| Work | Time | Goal |\n|---|---|---|\n")
foreach(row IN LISTS absolute)
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 work)
    list(GET fields 2 name)
    list(LENGTH fields n)
    set(goal "")
    if(n GREATER 3)
        list(GET fields 3 goal)
    endif()
    string(MAKE_C_IDENTIFIER "${name}" name)
    times_of(times ${name})
    if(times)
        median(t ${times})
        format_time(t "${t}" "${unit_${name}}")
    else()
        set(t "not measured")
    endif()
    string(APPEND md "| ${work} | ${t} | ${goal} |\n")
endforeach()
file(WRITE ${OUT} "${md}")
message(STATUS "wrote ${OUT}")
