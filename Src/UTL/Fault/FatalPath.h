// What the library does for a process that is about to die of something it
// saw (a fault it does not translate, an exception nobody catches, an abort it
// was asked to report): nothing written before is lost, and nothing on the
// way waits forever or takes heap memory.
#pragma once

#include <cstdint>
#include <cstdio>

#include <UTL/WinServices.h>

namespace UTL {
namespace detail {

// ---- File sinks' streams ----

// The streams of open file sinks, flushed before death. At most 64 are kept;
// a stream beyond them is not flushed at death. Unregistering waits while a
// dying thread flushes the stream.
void RegisterSinkStream(std::FILE* stream);
void UnregisterSinkStream(std::FILE* stream);

// Writes out what the registered streams hold, without heap memory. A stream
// whose lock another thread holds (perhaps one that will never run again) is
// waited for only until a deadline shared by all streams, then skipped; one
// that this thread holds is flushed as it stands.
void FlushSinkStreams();

// ---- std::terminate ----

// Installs, once, a terminate handler that flushes the sink streams, then
// calls `uncaughtFault` (set by the first call that passes one; it may end the
// process by a fault's signal), then the handler that was installed before.
void InstallTerminateHandler(void (*uncaughtFault)() = nullptr);

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
// untranslatable fault, a reported abort): no log message (a sink may take
// heap memory) and the frame-pointer walk only (see ReportEndsProcess).
void WriteReportBeforeDeath(EXCEPTION_POINTERS* pointers);

}  // namespace detail
}  // namespace UTL
