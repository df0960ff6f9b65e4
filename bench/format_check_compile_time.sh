#!/usr/bin/env bash
# The compile-time cost of the format check: one translation unit with 1000
# formatting and scanning calls, compiled with their literal formats checked
# (C++20) and unchecked (the same calls with the formats passed as pointers),
# by g++ and clang++: the median CPU time of 5 compilations each, interleaved
# (CPU time, as the machine may be busy).
# Usage: bench/format_check_compile_time.sh [build directory with include/]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

{
    echo '#include <UTL/StringC.h>'
    echo '#include <UTL/WideText.h>'
    echo '#ifdef UNCHECKED'
    echo '#define F(literal) static_cast<const char16_t*>(literal)'
    echo '#else'
    echo '#define F(literal) literal'
    echo '#endif'
    echo 'int Calls(StringC& s, char16_t (&b)[64], int i, long l, double d, const char16_t* w,'
    echo '          int* pi, long* pl, float* pf) {'
    echo '    int r = 0;'
    for ((n = 0; n < 200; ++n)); do
        echo "    r += s.Format(F(u\"$n: %d %ld %s\"), i, l, w);"
        echo "    r += lswprintf(b, F(u\"$n %-8.3f|%5d\"), d, i);"
        echo "    r += s.Format(F(u\"%*d $n %p %S\"), 4, i, pi, \"x\");"
        echo "    r += lswscanf(w, F(u\"%d $n %ld\"), pi, pl);"
        echo "    r += s.Scan(F(u\"%f;%d $n\"), pf, pi);"
    done
    echo '    return r;'
    echo '}'
} >"$work/calls.cpp"

seconds() {  # <compiler> <flags...>: the CPU time (user + system) of one compilation
    local TIMEFORMAT='%U + %S'
    { time "$@" -std=c++20 -O2 -IInclude -I"$build/include" -c "$work/calls.cpp" \
        -o "$work/calls.o"; } 2>&1 | bc
}
median() { sort -n | sed -n 3p; }

for cxx in g++ clang++; do
    checked=() unchecked=()
    for ((run = 0; run < 5; ++run)); do
        checked+=("$(seconds "$cxx")")
        unchecked+=("$(seconds "$cxx" -DUNCHECKED)")
    done
    c=$(printf '%s\n' "${checked[@]}" | median)
    u=$(printf '%s\n' "${unchecked[@]}" | median)
    printf '%-8s checked %6.2f s  unchecked %6.2f s  difference %+.2f s\n' "$cxx" "$c" "$u" \
        "$(echo "$c - $u" | bc)"
done
