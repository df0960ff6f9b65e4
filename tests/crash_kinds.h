// Hardware faults of every kind the crash reporter turns into exceptions, in
// code built as an application builds it: crash_kinds.cpp is compiled twice,
// without frame pointers (kPlainKinds) and with them (kFramedKinds), and the
// tests call each fault through a pointer from inside their catch.
#pragma once

#include <cstdint>
#include <string>

namespace crashkinds {

struct Kind {
    const char* name;
    void (*fault)();
    const char* code;  // exception code and name, as the report's code line shows them
    int signal;        // that ends the process when the fault is not translated
    // What is wrong with the fault address a report shows (empty when nothing),
    // for the kinds that fix it; null for the others.
    std::string (*faultAddressProblem)(std::uintptr_t address);
    // Why this architecture or compiler cannot raise the kind; null when it can.
    const char* skip;
};

// Every kind, in the same order in both tables, each ending with a null name.
extern const Kind kPlainKinds[];
extern const Kind kFramedKinds[];

// Makes the bus-error kinds fault: a page mapped beyond the end of the empty
// file `path`. Call once per process before they run.
void PrepareBusFault(const char* path);

}  // namespace crashkinds
