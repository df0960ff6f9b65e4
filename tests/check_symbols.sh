#!/bin/sh
# Compares the dynamic symbols that a shared library defines with a checked-in
# list (one demangled name a line), so that the interface changes only on
# purpose. Usage: check_symbols.sh <library> <list> [nm]
# With UTL_UPDATE_SYMBOLS=1 the list is rewritten from the library instead.
set -eu
library=$1 list=$2 nm=${3:-nm}
actual=$("$nm" -D --defined-only --demangle "$library" | sed -E 's/^[0-9a-fA-F]+ [A-Za-z] //' |
         LC_ALL=C sort -u)
if [ "${UTL_UPDATE_SYMBOLS:-0}" = 1 ]; then
    printf '%s\n' "$actual" > "$list"
    exit 0
fi
if ! printf '%s\n' "$actual" | diff -u "$list" -; then
    echo "the exported symbols of $library differ from $list (- listed, + exported)" >&2
    exit 1
fi
echo "$(printf '%s\n' "$actual" | wc -l) exported symbols, as listed"
