// What the library does for a process that is about to die of something it
// saw (a fault it does not translate, an exception nobody catches, an abort it
// was asked to report): nothing written before is lost, and nothing on the
// way waits forever or takes heap memory.
#pragma once

#include <cstdint>

#include <UTL/WinServices.h>

namespace UTL {
namespace fault {

// ---- Faults that cannot become exceptions ----

// Looks up, once, the functions of the rule below (dlsym takes locks and heap
// memory, so never at a fault). Called when the fault handlers are installed.
void PrepareUntranslatableFaults();

// The rule: a fault cannot become an exception when the code it interrupted
// holds a lock that unwinding would leave held. True when the faulting
// instruction lies in the object that holds the C library's allocator
// functions (their table is in FatalPath.cpp) and a frame of the chain from
// the fault (`context`, the interrupted registers) is in one of them.
bool IsUntranslatableFault(std::uintptr_t faultingInstruction, const CONTEXT& context);

// Writes the exception report of a fault the process will not survive (an
// untranslatable fault, a reported abort) by the installed writer
// (SetFatalReportWriter): no log message (a sink may take heap memory) and the
// frame-pointer walk only (see ReportEndsProcess).
void WriteReportBeforeDeath(EXCEPTION_POINTERS* pointers);

}  // namespace fault
}  // namespace UTL
