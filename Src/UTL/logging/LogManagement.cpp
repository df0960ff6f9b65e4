// The log manager: sink registry, formatting and dispatch.
#include <UTL/LogManagement.h>

#include <UTL/BSS.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <UTL/detail/DirectiveDialects.h>

#include "DevMessage.h"
#include "Directive.h"
#include "LibraryMutex.h"
#include "PlainDirective.h"

namespace UTL {

// The manager's own sink: silent, and with mask LOG_None it accepts only
// messages of mask 0. It keeps a fresh manager from producing any output.
class CrtLogC : public LogSinkI {
public:
    CrtLogC() { SetLogMask(LOG_None); }
    void LogMessage(const char*, int, unsigned long mask, const char*) const override {
        (void)IsEnabled(mask);
    }
};

namespace {

// The allocator of the sink list: a type of this file, so that the list's
// code (instantiated for the exported LogSinkI) stays inside the library
// instead of joining its exported symbols.
template <class T>
struct LocalAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = LocalAllocator<U>;
    };
    LocalAllocator() = default;
    template <class U>
    LocalAllocator(const LocalAllocator<U>&) {}
};
using SinkList = std::vector<LogSinkI*, LocalAllocator<LogSinkI*>>;

}  // namespace

class LogManagementDataC {
public:
    SinkList sinks;              // registration order, each at most once
    detail::LibraryMutexC lock;  // recursive: Log holds it around LogMessage
};

namespace {

// ---- Early rejection of messages that no sink can accept ----
//
// One word holds the union of the masks of the registered sinks (low 32
// bits) and a change count (high 32 bits). A message with a bit outside the
// union can reach no sink, so Log drops it with one relaxed load: no lock, no
// shared write. The union may be wider than the sinks' masks, never narrower:
// SetLogMask widens it on any sink without a lock (a sink may be registered or
// not); AddSink, RemoveSink and Cleanup recompute it from the list under the
// manager lock. Every change is a read-modify-write that bumps the count, so
// a recomputation that read the masks while SetLogMask widened the union
// fails its exchange and reads them again instead of dropping the new bits.
// (The count wraps after 2^32 changes; a recomputation would have to span
// exactly that many to be fooled.)
alignas(64) std::atomic<std::uint64_t> g_acceptedMasks{0};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "the early test takes no lock");

std::uint64_t NextWord(std::uint64_t word, std::uint32_t masks) {
    return ((word >> 32) + 1) << 32 | masks;
}

void WidenAcceptedMasks(std::uint32_t masks) {
    std::uint64_t word = g_acceptedMasks.load(std::memory_order_relaxed);
    while (!g_acceptedMasks.compare_exchange_weak(
        word, NextWord(word, static_cast<std::uint32_t>(word) | masks), std::memory_order_release,
        std::memory_order_relaxed)) {
    }
}

// Under the manager lock (or with no manager). The acquiring loads make the
// masks stored before any widening that they see visible to the reads here.
void RecomputeAcceptedMasks(const SinkList& sinks) {
    std::uint64_t word = g_acceptedMasks.load(std::memory_order_acquire);
    std::uint64_t next;
    do {
        std::uint32_t masks = 0;
        for (const LogSinkI* sink : sinks) masks |= static_cast<std::uint32_t>(sink->GetLogMask());
        next = NextWord(word, masks);
    } while (!g_acceptedMasks.compare_exchange_weak(word, next, std::memory_order_acq_rel,
                                                    std::memory_order_acquire));
}

bool SomeSinkMayAccept(unsigned long mask) {
    const std::uint32_t bits = static_cast<std::uint32_t>(mask);
    return (static_cast<std::uint32_t>(g_acceptedMasks.load(std::memory_order_relaxed)) & bits) ==
           bits;
}

// ---- Formatting ----

// A message's text: 1023 characters at most, and the terminator. Each call
// formats into its own buffer on the stack.
constexpr std::size_t kMessageBytes = 1024;

// One directive whose layout is parsed: its text into `w`, taking its argument.
// False where vsnprintf must format it.
bool FormatDirective(detail::BoundedText& w, const detail::Directive& layout, va_list* args) {
    char field[detail::kFieldMax];
    const bool bare = detail::IsBare(layout) && layout.size == 0;
    switch (layout.conv) {
        case 'd':
        case 'i': {
            const long v = layout.size == 'l'   ? va_arg(*args, long)
                           : layout.size == 'h' ? static_cast<short>(va_arg(*args, int))
                                                : va_arg(*args, int);
            // Negated in unsigned arithmetic: LONG_MIN needs no special case.
            const unsigned long magnitude =
                v < 0 ? 0ul - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
            w.Append(field, detail::FormatInteger(field, layout, v < 0, magnitude));
            return true;
        }
        case 'o':
        case 'u':
        case 'x':
        case 'X': {
            const unsigned long v = layout.size == 'l' ? va_arg(*args, unsigned long)
                                    : layout.size == 'h'
                                        ? static_cast<unsigned short>(va_arg(*args, unsigned int))
                                        : va_arg(*args, unsigned int);
            w.Append(field, detail::FormatInteger(field, layout, false, v));
            return true;
        }
        case 'f':
        case 'e':
        case 'E':
        case 'g':
        case 'G': {
            if (layout.size == 'h') return false;
            const std::size_t n = detail::FormatDouble(field, layout, va_arg(*args, double));
            w.Append(field, n);
            return n != 0;
        }
        case 'c':
            if (!bare) return false;
            w.Put(static_cast<char>(static_cast<unsigned char>(va_arg(*args, int))));
            return true;
        case 's': {
            const char* s = bare ? va_arg(*args, const char*) : nullptr;
            if (!s) return false;  // "(null)" and field layouts are left to the C library
            w.Append(s);
            return true;
        }
        case '%':
            if (!bare) return false;
            w.Put('%');
            return true;
        case 'n':
            (void)va_arg(*args, void*);  // a count is never stored
            return true;
        default:
            return false;
    }
}

// Calls `each(percent, directive)` for every directive of `format` but "%%",
// in order, while it returns true; the text between directives is left to
// the caller.
template <class Each>
void ForEachDirective(const char* format, Each each) {
    for (const char* percent = std::strchr(format, '%'); percent;) {
        if (percent[1] == '%') {
            percent = std::strchr(percent + 2, '%');
            continue;
        }
        detail::Directive d;
        detail::ReadDirective(percent, detail::kCLibrarySyntax, d);
        if (!each(percent, d)) return;
        percent = std::strchr(percent + d.length, '%');
    }
}

bool HasCount(const char* format) {
    bool found = false;
    ForEachDirective(format, [&](const char*, const detail::Directive& d) {
        found = d.conv == 'n';
        return !found;
    });
    return found;
}

// `format` for vsnprintf with every "%n" directive made harmless: it becomes
// "%.0s" (with its position, if any), which takes the same pointer and shows
// nothing. A "%n" whose width or precision takes an argument (meaningless,
// and no replacement takes the same arguments) ends the format there, as does
// the directive that would not fit `out` whole. Returns `format` itself when
// it holds no "%n".
const char* WithoutCounts(const char* format, char* out, std::size_t size) {
    if (!HasCount(format)) return format;
    detail::BoundedText w(out, size);
    const char* copied = format;  // the format up to here is in `out`
    bool cut = false;
    ForEachDirective(format, [&](const char* percent, const detail::Directive& d) {
        const char* end = percent + d.length;
        const bool count = d.conv == 'n';
        const bool starred = d.widthStar || d.precisionStar;
        cut = (count && starred) || w.Size() + static_cast<std::size_t>(end - copied) + 4 >= size;
        if (cut) {
            w.Append(copied, static_cast<std::size_t>(percent - copied));
            return false;
        }
        if (count) {
            // "%" and its position, if any, are kept.
            const char* kept = percent + d.flagsAt;
            w.Append(copied, static_cast<std::size_t>(kept - copied));
            w.Append(".0s");
        } else {
            w.Append(copied, static_cast<std::size_t>(end - copied));
        }
        copied = end;
        return true;
    });
    if (!cut) w.Append(copied);
    w.Terminate();
    return out;
}

// Formats the plain directives that log messages mostly use exactly as
// vsnprintf does, without its per-call parsing overhead. Returns false, with
// the buffer in no particular state, as soon as it meets anything else; the
// caller then formats with vsnprintf from a fresh copy of the arguments.
bool FormatPlain(char* out, std::size_t size, const char* format, va_list* args) {
    detail::BoundedText w(out, size);
    const char* f = format;
    while (*f) {
        const char* percent = std::strchr(f, '%');
        if (!percent) {
            w.Append(f);
            break;
        }
        w.Append(f, static_cast<std::size_t>(percent - f));
        detail::Directive layout;
        f = detail::ParseDirective(percent, layout);
        if (!f || !FormatDirective(w, layout, args)) return false;
    }
    w.Terminate();
    return true;
}

// Formats a message into `message` with vsnprintf's result, cut at 1023
// characters. `args` is left untouched (copies are consumed).
void FormatMessage(char (&message)[kMessageBytes], const char* format, va_list args) {
    if (!format) {
        message[0] = '\0';
        return;
    }
    va_list copy;
    va_copy(copy, args);
    const bool done = FormatPlain(message, sizeof message, format, &copy);
    va_end(copy);
    if (done) return;
    char safe[kMessageBytes];
    va_copy(copy, args);
    std::vsnprintf(message, sizeof message, WithoutCounts(format, safe, sizeof safe), copy);
    va_end(copy);
}

// Under the manager lock: `text` to every sink that accepts `mask`, in
// registration order.
void HandToSinks(const SinkList& sinks, const char* file, int line, unsigned long mask,
                 const char* text) {
    for (std::size_t i = 0; i < sinks.size(); ++i) {
        if (sinks[i]->IsEnabled(mask)) sinks[i]->LogMessage(file, line, mask, text);
    }
}

}  // namespace

void LogSinkI::SetLogMask(unsigned long mask) {
    const std::uint32_t bits = static_cast<std::uint32_t>(mask);
    m_mask.store(bits, std::memory_order_relaxed);
    // Clearing bits needs no notice: the union may stay wider than the masks.
    if (bits != 0) WidenAcceptedMasks(bits);
}

LogManagementC* LogManagementC::s_instance = nullptr;

namespace {

// The lock of the live manager, for the fork handlers (null without one).
detail::LibraryMutexC* g_managerLock = nullptr;
detail::LibraryMutexC* g_heldAcrossFork = nullptr;

// The manager's data must be whole in a child of fork(): before fork() the
// forking thread takes the manager lock, so that no other thread is inside
// it, and the child starts with a fresh lock.
void HoldManagerLock() {
    g_heldAcrossFork = g_managerLock;
    if (g_heldAcrossFork) g_heldAcrossFork->Acquire(-1);
}

void ReleaseManagerLock() {
    if (g_heldAcrossFork) g_heldAcrossFork->Release();
}

void RenewManagerLock() {
    if (g_heldAcrossFork) g_heldAcrossFork->ReinitialiseInChild();
}

// Registered with the first manager, so after the library's own handlers
// (registered at load): handlers that prepare a fork run in the reverse order
// of registration, so the manager lock is taken before the file output lock,
// the library's lock order.
void RegisterForkHandlers() {
    static const int registered =
        pthread_atfork(HoldManagerLock, ReleaseManagerLock, RenewManagerLock);
    (void)registered;
}

// The text runtime's developer messages arrive here, with the developer
// mask, as if logged where they arose.
void LogDevMessage(const char* file, int line, const char* text) {
    LogManagementC::Log(file, line, LogSinkI::LOG_DevMessage, "%s", text);
}

const bool g_devMessagesLogged = (detail::SetDevMessageWriter(LogDevMessage), true);

}  // namespace

LogManagementC::LogManagementC() : m_data(new LogManagementDataC) {
    RegisterForkHandlers();
    g_managerLock = &m_data->lock;
}

LogManagementC::~LogManagementC() {
    try {
        for (LogSinkI* sink : m_data->sinks) delete sink;
        m_data->sinks.clear();
    } catch (...) {
        // A throwing sink destructor must not keep the manager alive.
    }
    if (g_managerLock == &m_data->lock) g_managerLock = nullptr;
    delete m_data;
}

LogManagementC* LogManagementC::Instance() {
    if (!s_instance) {
        s_instance = new LogManagementC;
        AddSink(new CrtLogC);
    }
    return s_instance;
}

void LogManagementC::Cleanup() {
    delete s_instance;
    s_instance = nullptr;
    RecomputeAcceptedMasks({});
}

bool LogManagementC::AddSink(LogSinkI* sink) {
    LogManagementDataC* data = Instance()->GetData();
    BSS::TSK::GuardC guard(data->lock, -1);
    if (!sink || std::find(data->sinks.begin(), data->sinks.end(), sink) != data->sinks.end())
        return false;
    data->sinks.push_back(sink);
    RecomputeAcceptedMasks(data->sinks);
    return true;
}

bool LogManagementC::AddSink(std::unique_ptr<LogSinkI> sink) {
    // A sink that is registered already belongs to the manager: released, not
    // destroyed, also when the result is false.
    return AddSink(sink.release());
}

bool LogManagementC::RemoveSink(LogSinkI* sink, bool destroy) {
    LogManagementDataC* data = Instance()->GetData();
    BSS::TSK::GuardC guard(data->lock, -1);
    auto it = std::find(data->sinks.begin(), data->sinks.end(), sink);
    if (it == data->sinks.end()) return false;
    data->sinks.erase(it);
    if (destroy) delete sink;
    RecomputeAcceptedMasks(data->sinks);
    return true;
}

void LogManagementC::Log(const char* file, int line, unsigned long mask, const char* format, ...) {
    if (!SomeSinkMayAccept(mask)) {
        if (!s_instance) Instance();  // a first Log still creates the manager
        return;
    }
    // Today's path, out of line: the early return above then saves no
    // registers but the argument list's. The text is formatted before the
    // lock is taken, so that threads format at the same time and hold the
    // lock only to hand it over. (The manager is always this class, so its
    // LogMessage is this same work.)
    struct Accepted {
        [[gnu::noinline]] static void Dispatch(const char* file, int line, unsigned long mask,
                                               const char* format, va_list args) {
            char message[kMessageBytes];
            FormatMessage(message, format, args);
            LogManagementDataC* data = Instance()->GetData();
            BSS::TSK::GuardC guard(data->lock, -1);
            HandToSinks(data->sinks, file, line, mask, message);
        }
    };
    struct Arguments {  // ended also when a sink's exception passes
        va_list list;
        ~Arguments() { va_end(list); }
    } args;
    va_start(args.list, format);
    Accepted::Dispatch(file, line, mask, format, args.list);
}

void LogManagementC::LogMessage(const char* file, int line, unsigned long mask, const char* format,
                                va_list args) const {
    const LogManagementDataC* data = GetData();
    BSS::TSK::GuardC guard(const_cast<detail::LibraryMutexC&>(data->lock), -1);
    // The text is formatted once, when some sink accepts the message, and
    // handed to every accepting sink: formatting the same arguments again
    // would give the same text. Nothing is formatted for no taker.
    for (const LogSinkI* sink : data->sinks) {
        if (!sink->IsEnabled(mask)) continue;
        char message[kMessageBytes];
        FormatMessage(message, format, args);
        HandToSinks(data->sinks, file, line, mask, message);
        return;
    }
}

}  // namespace UTL
