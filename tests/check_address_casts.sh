#!/bin/sh
# Fails when a pointer is cast straight to an integer wider than a pointer on
# 32-bit targets: g++ sign-extends such a cast there, so an address above
# 0x80000000 would become one in no module. Addresses become 64-bit through
# UTL::arch::Address64 (Src/Platform/Arch.h) only.
# Usage: check_address_casts.sh <source directory>
set -eu
cd "$1"
wide='(std::)?(DWORD64|u?int64_t|(unsigned[[:space:]]+)?long[[:space:]]+long|Dwarf_Addr|Dwarf_Word|GElf_Addr|Elf64_Addr|Hex64|Hex)'
found=$(grep -rnE --include='*.cpp' --include='*.h' \
    -e "reinterpret_cast<[[:space:]]*(const[[:space:]]+)?${wide}[[:space:]]*>" \
    -e "\(${wide}\)[[:space:]]*&" \
    Src Include tests bench examples || true)
if [ -n "$found" ]; then
    printf '%s\n' "$found"
    echo "pointers cast to a 64-bit integer above; use UTL::arch::Address64" >&2
    exit 1
fi
echo "no pointer is cast to a 64-bit integer"
