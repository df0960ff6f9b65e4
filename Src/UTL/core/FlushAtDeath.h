// What the library's own output needs when the process dies of something the
// library saw (a fault it does not translate, an exception nobody catches, an
// abort it was asked to report): nothing written before is lost, and nothing
// on the way waits forever or takes heap memory.
#pragma once

#include <cstdio>

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

}  // namespace detail
}  // namespace UTL
