// The Windows services of the crash reporter, over POSIX and the dynamic
// loader: version record, module paths, report file, formatting, memory
// probes, thread context, run-time loading, and the translation of hardware
// faults (signals) into calls of the per-thread translator.
//
// Everything that a report calls runs without heap memory: module lookups go
// through dl_iterate_phdr, memory probes through process_vm_readv/writev, texts
// into caller buffers.
#include <UTL/WinServices.h>

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>

#ifndef UC_SIGCONTEXT_SS
#define UC_SIGCONTEXT_SS 0x2
#endif

namespace {

// Copies `text` into `buffer` of `size` bytes when it fits (terminator
// included); returns its length, or 0 with an empty buffer when it does not.
DWORD CopyIfFits(const char* text, char* buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    const std::size_t length = std::strlen(text);
    if (length >= size) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}

// ---- Version record ----------------------------------------------------------

struct VersionInjection {
    bool active;
    OSVERSIONINFOEXA record;
    BOOL extendedAccepted;
    BOOL basicAccepted;
};
VersionInjection g_version = {};

// Leading decimal number of `text`, advancing past it and one following dot.
DWORD ReadVersionNumber(const char*& text) {
    DWORD value = 0;
    while (*text >= '0' && *text <= '9') {
        if (value < 100000000u) value = value * 10 + static_cast<DWORD>(*text - '0');
        ++text;
    }
    if (*text == '.') ++text;
    return value;
}

// ---- Loaded objects ----------------------------------------------------------

char g_exeOverride[4096];
bool g_exeOverridden = false;
char g_dbgHelpOverride[4096];
bool g_dbgHelpOverridden = false;

uintptr_t PageDown(uintptr_t value) {
    return value & ~static_cast<uintptr_t>(4095);
}
uintptr_t PageUp(uintptr_t value) {
    return PageDown(value + 4095);
}

// One loaded object as dl_iterate_phdr reports it.
struct ObjectQuery {
    // in
    uintptr_t address;  // find the object covering this address, or
    uintptr_t base;     // find the object whose lowest mapped address is this
    bool byAddress;
    // out
    bool found;
    bool isMain;
    uintptr_t foundBase;
    const char* name;
    int index;
    uintptr_t bias;
    IMAGE_LOAD_SEGMENT* segments;  // when set, filled with the PT_LOAD headers
    int capacity;
    int count;
};

int VisitObject(dl_phdr_info* info, std::size_t, void* data) {
    ObjectQuery& query = *static_cast<ObjectQuery*>(data);
    const int index = query.index++;
    uintptr_t lowest = UINTPTR_MAX;
    bool covers = false;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD) continue;
        const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        if (PageDown(start) < lowest) lowest = PageDown(start);
        if (query.address >= PageDown(start) && query.address < PageUp(start + segment.p_memsz))
            covers = true;
    }
    if (lowest == UINTPTR_MAX) return 0;
    const bool match = query.byAddress ? covers : lowest == query.base;
    if (!match) return 0;
    query.found = true;
    query.isMain = index == 0;  // the loader reports the executable first
    query.foundBase = lowest;
    query.name = info->dlpi_name;
    query.bias = info->dlpi_addr;
    if (query.segments) {
        for (int i = 0; i < info->dlpi_phnum && query.count < query.capacity; ++i) {
            const ElfW(Phdr)& segment = info->dlpi_phdr[i];
            if (segment.p_type != PT_LOAD) continue;
            IMAGE_LOAD_SEGMENT& out = query.segments[query.count++];
            out.VirtualAddress = segment.p_vaddr;
            out.VirtualSize = segment.p_memsz;
            out.SizeOfRawData = segment.p_filesz;
        }
    }
    return 1;
}

DWORD ExecutablePath(char* buffer, DWORD size) {
    if (g_exeOverridden) return CopyIfFits(g_exeOverride, buffer, size);
    if (!buffer || size == 0) return 0;
    const ssize_t length = readlink("/proc/self/exe", buffer, size);
    if (length <= 0 || static_cast<DWORD>(length) >= size) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

// ---- Files -------------------------------------------------------------------

// Descriptors opened with FILE_FLAG_WRITE_THROUGH, flushed on close.
constexpr int kTrackedDescriptors = 4096;
std::atomic<unsigned char> g_writeThrough[kTrackedDescriptors];

char g_processToken;  // what the process pseudo handle points to

int DescriptorOf(HANDLE handle) {
    const std::intptr_t value = reinterpret_cast<std::intptr_t>(handle);
    if (value < 0 || value > 0x7FFFFFFF) return -1;
    return static_cast<int>(value);
}

// ---- Memory probe ------------------------------------------------------------

// Reads `size` bytes at `address` and writes them back, through the kernel, so
// that an unreadable or read-only address fails with EFAULT instead of faulting.
int ProbeByProcessVm(void* address, std::size_t size) {
    unsigned char copy[256];
    iovec local = {copy, size};
    iovec remote = {address, size};
    const pid_t self = getpid();
    ssize_t done = process_vm_readv(self, &local, 1, &remote, 1, 0);
    if (done < 0 && (errno == ENOSYS || errno == EPERM)) return -1;  // not available
    if (done != static_cast<ssize_t>(size)) return 1;
    done = process_vm_writev(self, &local, 1, &remote, 1, 0);
    return done == static_cast<ssize_t>(size) ? 0 : 1;
}

// The same through a pipe: write(2) reads the bytes, read(2) stores them back.
int ProbeByPipe(void* address, std::size_t size) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return 1;
    int bad = 1;
    if (write(ends[1], address, size) == static_cast<ssize_t>(size)) {
        bad = read(ends[0], address, size) == static_cast<ssize_t>(size) ? 0 : 1;
    }
    close(ends[0]);
    close(ends[1]);
    return bad;
}

// ---- Fault translation -------------------------------------------------------

// Per-thread state; trivially constructible so that reading it in a signal
// handler never allocates.
struct ThreadFaultState {
    _se_translator_function translator;
    int depth;      // > 0 while this thread's translator runs
    bool prepared;  // alternate stack and stack bounds set up
    uintptr_t stackLow;
    uintptr_t stackHigh;
};
thread_local ThreadFaultState t_fault;

// The alternate signal stack that this library gave the thread, unmapped when
// the thread ends (only while it is still the thread's alternate stack).
constexpr std::size_t kAltStackSize = 1024 * 1024;
constexpr std::size_t kGuardSize = 4096;

struct AltStackOwner {
    void* mapping = nullptr;
    ~AltStackOwner() {
        if (!mapping) return;
        stack_t current;
        if (sigaltstack(nullptr, &current) != 0) return;
        if (current.ss_sp != static_cast<char*>(mapping) + kGuardSize) return;
        stack_t off = {};
        off.ss_flags = SS_DISABLE;
        if (sigaltstack(&off, nullptr) == 0) munmap(mapping, kAltStackSize + kGuardSize);
    }
};
thread_local AltStackOwner t_altStack;

const int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
struct sigaction g_previous[NSIG];
std::atomic<bool> g_handlersInstalled{false};
std::mutex g_installMutex;

pthread_mutex_t g_reportLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

void UnblockSignal(int signal) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

// An alignment fault leaves EFLAGS.AC set in the handler, which would make
// every unaligned access of the report fault again.
inline void ClearAlignmentCheck() {
    asm volatile(
        "sub $128, %%rsp\n\t"
        "pushfq\n\t"
        "andq $~0x40000, (%%rsp)\n\t"
        "popfq\n\t"
        "add $128, %%rsp" ::
            : "cc", "memory");
}

bool IsStackOverflow(uintptr_t faultAddress, const ucontext_t* context,
                     const ThreadFaultState& state) {
    const uintptr_t sp = static_cast<uintptr_t>(context->uc_mcontext.gregs[REG_RSP]);
    if (faultAddress < sp + 4096 && faultAddress + 65536 >= sp) return true;
    if (state.stackLow != 0 && faultAddress < state.stackLow + 4096 &&
        faultAddress + 1024 * 1024 >= state.stackLow)
        return true;
    return false;
}

DWORD CodeOfFpe(int code) {
    switch (code) {
        case FPE_INTDIV:
            return EXCEPTION_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF:
            return EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV:
            return EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF:
            return EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND:
            return EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES:
            return EXCEPTION_FLT_INEXACT_RESULT;
        case FPE_FLTSUB:
            return EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
        default:
            return EXCEPTION_FLT_INVALID_OPERATION;
    }
}

DWORD ExceptionCodeOfSignal(int signal, const siginfo_t* info, bool stackOverflow) {
    switch (signal) {
        case SIGSEGV:
            return stackOverflow ? EXCEPTION_STACK_OVERFLOW : EXCEPTION_ACCESS_VIOLATION;
        case SIGFPE:
            return CodeOfFpe(info->si_code);
        case SIGILL:
            return info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG
                       ? EXCEPTION_PRIV_INSTRUCTION
                       : EXCEPTION_ILLEGAL_INSTRUCTION;
        case SIGBUS:
            return info->si_code == BUS_ADRALN ? EXCEPTION_DATATYPE_MISALIGNMENT
                                               : EXCEPTION_IN_PAGE_ERROR;
        case SIGTRAP:
            return info->si_code == TRAP_TRACE ? EXCEPTION_SINGLE_STEP : EXCEPTION_BREAKPOINT;
        default:
            return EXCEPTION_ACCESS_VIOLATION;
    }
}

void ContextFromSignal(const ucontext_t* uc, CONTEXT* context) {
    const greg_t* g = uc->uc_mcontext.gregs;
    std::memset(context, 0, sizeof *context);
    context->ContextFlags = CONTEXT_FULL;
    context->Rax = static_cast<DWORD64>(g[REG_RAX]);
    context->Rbx = static_cast<DWORD64>(g[REG_RBX]);
    context->Rcx = static_cast<DWORD64>(g[REG_RCX]);
    context->Rdx = static_cast<DWORD64>(g[REG_RDX]);
    context->Rsi = static_cast<DWORD64>(g[REG_RSI]);
    context->Rdi = static_cast<DWORD64>(g[REG_RDI]);
    context->Rsp = static_cast<DWORD64>(g[REG_RSP]);
    context->Rbp = static_cast<DWORD64>(g[REG_RBP]);
    context->R8 = static_cast<DWORD64>(g[REG_R8]);
    context->R9 = static_cast<DWORD64>(g[REG_R9]);
    context->R10 = static_cast<DWORD64>(g[REG_R10]);
    context->R11 = static_cast<DWORD64>(g[REG_R11]);
    context->R12 = static_cast<DWORD64>(g[REG_R12]);
    context->R13 = static_cast<DWORD64>(g[REG_R13]);
    context->R14 = static_cast<DWORD64>(g[REG_R14]);
    context->R15 = static_cast<DWORD64>(g[REG_R15]);
    context->Rip = static_cast<DWORD64>(g[REG_RIP]);
    context->EFlags = static_cast<DWORD>(g[REG_EFL]);
    // cs, gs, fs and (when the kernel saved it) ss, 16 bits each.
    const std::uint64_t segments = static_cast<std::uint64_t>(g[REG_CSGSFS]);
    context->SegCs = static_cast<WORD>(segments & 0xFFFF);
    context->SegGs = static_cast<WORD>((segments >> 16) & 0xFFFF);
    context->SegFs = static_cast<WORD>((segments >> 32) & 0xFFFF);
    if (uc->uc_flags & UC_SIGCONTEXT_SS) context->SegSs = static_cast<WORD>(segments >> 48);
}

}  // namespace

namespace UTL {
namespace win {

bool LockReport() {
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 5;
    return pthread_mutex_timedlock(&g_reportLock, &deadline) == 0;
}

void UnlockReport() {
    pthread_mutex_unlock(&g_reportLock);
}

}  // namespace win
}  // namespace UTL

namespace {

using UTL::win::NestedFaultT;

struct DepthGuard {
    explicit DepthGuard(ThreadFaultState& s) : state(s) { ++state.depth; }
    ~DepthGuard() { --state.depth; }
    ThreadFaultState& state;
};

// The fault is not translated: the handler installed before ours gets it, or,
// when there was none, the process dies by the signal.
void ForwardFault(int signal, siginfo_t* info, void* context) {
    const struct sigaction& previous = g_previous[signal];
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction) {
            previous.sa_sigaction(signal, info, context);
            return;
        }
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    struct sigaction deflt = {};
    deflt.sa_handler = SIG_DFL;
    sigemptyset(&deflt.sa_mask);
    sigaction(signal, &deflt, nullptr);
    UnblockSignal(signal);
    raise(signal);
}

void TranslateFault(int signal, siginfo_t* info, void* rawContext) {
    ucontext_t* uc = static_cast<ucontext_t*>(rawContext);
    ThreadFaultState& state = t_fault;
    if (state.depth > 0) {
        // A fault inside the translator (a log sink, a broken report step):
        // leave that step; the translator goes on with the next one.
        UnblockSignal(signal);
        throw NestedFaultT{};
    }
    if (!state.translator) {
        ForwardFault(signal, info, rawContext);
        return;
    }

    const uintptr_t faultAddress = reinterpret_cast<uintptr_t>(info->si_addr);
    const bool overflow = signal == SIGSEGV && IsStackOverflow(faultAddress, uc, state);
    CONTEXT context;
    ContextFromSignal(uc, &context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = ExceptionCodeOfSignal(signal, info, overflow);
    record.ExceptionAddress = reinterpret_cast<PVOID>(context.Rip);
    if (signal == SIGTRAP && info->si_code == SI_KERNEL) {
        // int3 leaves the instruction pointer after itself; name the int3.
        record.ExceptionAddress = reinterpret_cast<PVOID>(context.Rip - 1);
    }
    if (signal == SIGSEGV || signal == SIGBUS) {
        const greg_t error = uc->uc_mcontext.gregs[REG_ERR];
        record.NumberParameters = 2;
        record.ExceptionInformation[0] = (error & 0x10) ? 8 : (error & 0x2) ? 1 : 0;
        record.ExceptionInformation[1] = faultAddress;
    }
    EXCEPTION_POINTERS pointers = {&record, &context};

    // Leaving by an exception skips the signal return that would unblock it.
    UnblockSignal(signal);
    {
        DepthGuard inside(state);
        state.translator(record.ExceptionCode, &pointers);
    }
    ForwardFault(signal, info, rawContext);
}

// The handler's entry clears the alignment check before any other code runs:
// instrumented code (sanitizers) may access memory unaligned in its prologue.
__attribute__((no_sanitize_address, noinline)) void OnHardwareFault(int signal, siginfo_t* info,
                                                                    void* rawContext) {
    ClearAlignmentCheck();
    TranslateFault(signal, info, rawContext);
}

void InstallHandlersOnce() {
    if (g_handlersInstalled.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(g_installMutex);
    if (g_handlersInstalled.load(std::memory_order_relaxed)) return;
    for (int signal : kFaultSignals) {
        struct sigaction action = {};
        action.sa_sigaction = OnHardwareFault;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, &g_previous[signal]);
    }
    g_handlersInstalled.store(true, std::memory_order_release);
}

// Alternate signal stack (kept when the thread already has one as large) and the
// thread's stack bounds, which pthread_getattr_np can only give with heap
// memory and so are taken here rather than at a fault.
void PrepareThread(ThreadFaultState& state) {
    if (state.prepared) return;
    state.prepared = true;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        void* low = nullptr;
        std::size_t size = 0;
        if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
            state.stackLow = reinterpret_cast<uintptr_t>(low);
            state.stackHigh = state.stackLow + size;
        }
        pthread_attr_destroy(&attributes);
    }
    // An alternate stack of our size or more is kept; a smaller one (such as
    // a sanitizer's) is replaced, since a report with the symbol walk needs
    // far more stack than a few pages.
    stack_t current;
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_ONSTACK)) return;
    if (!(current.ss_flags & SS_DISABLE) && current.ss_size >= kAltStackSize) return;
    void* mapping = mmap(nullptr, kAltStackSize + kGuardSize, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED) return;
    mprotect(mapping, kGuardSize, PROT_NONE);
    stack_t stack = {};
    stack.ss_sp = static_cast<char*>(mapping) + kGuardSize;
    stack.ss_size = kAltStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(mapping, kAltStackSize + kGuardSize);
        return;
    }
    t_altStack.mapping = mapping;
}

}  // namespace

// ---- Version -----------------------------------------------------------------

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (!info) return 0;
    const DWORD size = info->dwOSVersionInfoSize;
    const bool extended = size == sizeof(OSVERSIONINFOEXA);
    if (!extended && size != sizeof(OSVERSIONINFOA)) return 0;
    if (g_version.active) {
        if (!(extended ? g_version.extendedAccepted : g_version.basicAccepted)) return 0;
        std::memcpy(info, &g_version.record, size);
        info->dwOSVersionInfoSize = size;
        return 1;
    }
    utsname name;
    if (uname(&name) != 0) return 0;
    std::memset(info, 0, size);
    info->dwOSVersionInfoSize = size;
    const char* release = name.release;
    info->dwMajorVersion = ReadVersionNumber(release);
    info->dwMinorVersion = ReadVersionNumber(release);
    info->dwBuildNumber = ReadVersionNumber(release);
    info->dwPlatformId = VER_PLATFORM_UTL_LINUX;
    std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%.63s %.63s", name.sysname,
                  name.release);
    return 1;
}

void UtlInjectVersionRecord(const OSVERSIONINFOEXA* record, BOOL extendedAccepted,
                            BOOL basicAccepted) {
    g_version.active = record != nullptr;
    if (record) g_version.record = *record;
    g_version.extendedAccepted = extendedAccepted;
    g_version.basicAccepted = basicAccepted;
}

// ---- Modules -----------------------------------------------------------------

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
    if (!module) return ExecutablePath(buffer, size);
    ObjectQuery query = {};
    query.base = reinterpret_cast<uintptr_t>(module);
    dl_iterate_phdr(VisitObject, &query);
    if (!query.found) {
        if (buffer && size) buffer[0] = '\0';
        return 0;
    }
    if (query.isMain || !query.name || !query.name[0]) return ExecutablePath(buffer, size);
    return CopyIfFits(query.name, buffer, size);
}

std::size_t VirtualQuery(const void* address, MEMORY_BASIC_INFORMATION* info, std::size_t size) {
    if (!info || size < sizeof *info) return 0;
    ObjectQuery query = {};
    query.address = reinterpret_cast<uintptr_t>(address);
    query.byAddress = true;
    dl_iterate_phdr(VisitObject, &query);
    if (!query.found) return 0;
    info->BaseAddress = reinterpret_cast<PVOID>(PageDown(query.address));
    info->AllocationBase = reinterpret_cast<PVOID>(query.foundBase);
    info->RegionSize = 4096;
    return sizeof *info;
}

int GetModuleImageSegments(HMODULE module, DWORD64* loadBias, IMAGE_LOAD_SEGMENT* segments,
                           int capacity) {
    ObjectQuery query = {};
    query.base = reinterpret_cast<uintptr_t>(module);
    query.segments = segments;
    query.capacity = segments ? capacity : 0;
    dl_iterate_phdr(VisitObject, &query);
    if (!query.found) return 0;
    if (loadBias) *loadBias = query.bias;
    return query.count;
}

void UtlOverrideExecutablePath(const char* path) {
    g_exeOverridden = path != nullptr;
    if (path) std::snprintf(g_exeOverride, sizeof g_exeOverride, "%s", path);
}

DWORD GetTempPathA(DWORD size, char* buffer) {
    if (!buffer || size == 0) return 0;
    const char* dir = std::getenv("TMPDIR");
    if (dir && dir[0]) {
        const std::size_t length = std::strlen(dir);
        const bool slash = dir[length - 1] == '/';
        if (length + (slash ? 0 : 1) < size) {
            std::memcpy(buffer, dir, length);
            if (!slash) buffer[length] = '/';
            buffer[length + (slash ? 0 : 1)] = '\0';
            return static_cast<DWORD>(length + (slash ? 0 : 1));
        }
    }
    return CopyIfFits("/tmp/", buffer, size);
}

// ---- Files -------------------------------------------------------------------

HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, void*, DWORD disposition,
                   DWORD flags, HANDLE) {
    if (!name || !name[0]) return INVALID_HANDLE_VALUE;
    int mode = (access & GENERIC_WRITE) ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case 1:
            mode |= O_CREAT | O_EXCL;
            break;  // CREATE_NEW
        case 2:
            mode |= O_CREAT | O_TRUNC;
            break;  // CREATE_ALWAYS
        case 3:
            break;  // OPEN_EXISTING
        case 4:
            mode |= O_CREAT;
            break;  // OPEN_ALWAYS
        case 5:
            mode |= O_TRUNC;
            break;  // TRUNCATE_EXISTING
        default:
            return INVALID_HANDLE_VALUE;
    }
    int fd;
    do {
        fd = open(name, mode | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    if (shareMode == 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    if (fd < kTrackedDescriptors)
        g_writeThrough[fd].store((flags & FILE_FLAG_WRITE_THROUGH) ? 1 : 0);
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
    struct stat status;
    const int fd = DescriptorOf(file);
    if (fd < 0 || fstat(fd, &status) != 0) return INVALID_FILE_SIZE;
    const std::uint64_t size = static_cast<std::uint64_t>(status.st_size);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE file, long distance, long* distanceHigh, DWORD method) {
    const int fd = DescriptorOf(file);
    if (fd < 0 || method > FILE_END) return 0xFFFFFFFFu;
    off_t offset = static_cast<std::int32_t>(distance);
    if (distanceHigh) {
        offset = static_cast<off_t>((static_cast<std::uint64_t>(*distanceHigh) << 32) |
                                    static_cast<std::uint32_t>(distance));
    }
    const int whence = method == FILE_BEGIN     ? SEEK_SET
                       : method == FILE_CURRENT ? SEEK_CUR
                                                : SEEK_END;
    const off_t position = lseek(fd, offset, whence);
    if (position < 0) return 0xFFFFFFFFu;
    if (distanceHigh) *distanceHigh = static_cast<long>(static_cast<std::uint64_t>(position) >> 32);
    return static_cast<DWORD>(position);
}

BOOL SetEndOfFile(HANDLE file) {
    const int fd = DescriptorOf(file);
    if (fd < 0) return 0;
    const off_t position = lseek(fd, 0, SEEK_CUR);
    return position >= 0 && ftruncate(fd, position) == 0;
}

BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void*) {
    if (written) *written = 0;
    const int fd = DescriptorOf(file);
    if (fd < 0 || (!data && size)) return 0;
    const char* bytes = static_cast<const char*>(data);
    DWORD total = 0;
    while (total < size) {
        const ssize_t done = write(fd, bytes + total, size - total);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) break;
        total += static_cast<DWORD>(done);
    }
    if (written) *written = total;
    return total == size;
}

BOOL CloseHandle(HANDLE handle) {
    if (handle == GetCurrentThread() || handle == static_cast<HANDLE>(&g_processToken)) return 1;
    const int fd = DescriptorOf(handle);
    if (fd < 0) return 0;
    if (fd < kTrackedDescriptors && g_writeThrough[fd].exchange(0)) fdatasync(fd);
    return close(fd) == 0;
}

// ---- Text --------------------------------------------------------------------

namespace {

// Copies `format` with the "h" of "%hs" (a narrow string in the window
// system's formatter) dropped, so that the C library sees a plain "%s".
// Returns false, leaving `out` unusable, when the format does not fit.
bool NarrowStringFormat(const char* format, char* out, std::size_t size) {
    std::size_t used = 0;
    for (const char* p = format; *p; ++p) {
        if (used + 1 >= size) return false;
        out[used++] = *p;
        if (*p != '%') continue;
        // Flags, width and precision of the directive.
        while (p[1] && std::strchr("-+ #0123456789.*", p[1])) {
            if (used + 1 >= size) return false;
            out[used++] = *++p;
        }
        if (p[1] == 'h' && p[2] == 's')
            ++p;  // drop the 'h'
        else if (p[1] == '%') {
            if (used + 1 >= size) return false;
            out[used++] = *++p;
        }
    }
    out[used] = '\0';
    return true;
}

}  // namespace

int wvsprintfA(char* buffer, const char* format, va_list args) {
    if (!buffer) return 0;
    if (!format) {
        buffer[0] = '\0';
        return 0;
    }
    char plain[WVSPRINTF_BUFFER_SIZE];
    if (std::strstr(format, "hs") && NarrowStringFormat(format, plain, sizeof plain))
        format = plain;
    const int length = std::vsnprintf(buffer, WVSPRINTF_BUFFER_SIZE, format, args);
    if (length < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return length < WVSPRINTF_BUFFER_SIZE ? length : WVSPRINTF_BUFFER_SIZE - 1;
}

// ---- Memory ------------------------------------------------------------------

BOOL IsBadWritePtr(void* address, std::size_t size) {
    if (size == 0) return 0;
    if (!address) return 1;
    char* cursor = static_cast<char*>(address);
    while (size > 0) {
        const std::size_t chunk = size < 256 ? size : 256;
        int bad = ProbeByProcessVm(cursor, chunk);
        if (bad < 0) bad = ProbeByPipe(cursor, chunk);
        if (bad) return 1;
        cursor += chunk;
        size -= chunk;
    }
    return 0;
}

// ---- Process and thread ------------------------------------------------------

HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
    if (processId != static_cast<DWORD>(getpid())) return nullptr;
    return static_cast<HANDLE>(&g_processToken);
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

HANDLE GetCurrentThread() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));
}

__attribute__((noinline)) BOOL GetThreadContext(HANDLE thread, CONTEXT* context) {
    if (!context || thread != GetCurrentThread()) return 0;
    if ((context->ContextFlags & CONTEXT_CONTROL) == CONTEXT_CONTROL) {
        std::uint64_t rip, rsp, rbp;
        std::uint16_t cs, ss;
        asm volatile(
            "lea 0(%%rip), %0\n\t"
            "mov %%rsp, %1\n\t"
            "mov %%rbp, %2\n\t"
            "mov %%cs, %3\n\t"
            "mov %%ss, %4"
            : "=r"(rip), "=r"(rsp), "=r"(rbp), "=r"(cs), "=r"(ss));
        context->Rip = rip;
        context->Rsp = rsp;
        context->Rbp = rbp;
        context->SegCs = cs;
        context->SegSs = ss;
        context->EFlags = static_cast<DWORD>(__builtin_ia32_readeflags_u64());
    }
    return 1;
}

// ---- Run-time loading --------------------------------------------------------

HMODULE LoadLibraryA(const char* name) {
    if (!name) return nullptr;
    if (strcasecmp(name, "DbgHelp.dll") != 0) return dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (g_dbgHelpOverridden) return dlopen(g_dbgHelpOverride, RTLD_NOW | RTLD_LOCAL);
    static const char kLibrary[] = "libutldbghelp.so.1";
    Dl_info self;
    if (dladdr(reinterpret_cast<void*>(&LoadLibraryA), &self) && self.dli_fname) {
        char path[4096];
        const char* slash = std::strrchr(self.dli_fname, '/');
        if (slash) {
            const int length =
                std::snprintf(path, sizeof path, "%.*s/%s",
                              static_cast<int>(slash - self.dli_fname), self.dli_fname, kLibrary);
            if (length > 0 && static_cast<std::size_t>(length) < sizeof path) {
                if (HMODULE module = dlopen(path, RTLD_NOW | RTLD_LOCAL)) return module;
            }
        }
    }
    return dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
}

void* GetProcAddress(HMODULE module, const char* name) {
    if (!module || !name) return nullptr;
    return dlsym(module, name);
}

void UtlOverrideDebugHelpLibrary(const char* path) {
    g_dbgHelpOverridden = path != nullptr;
    if (path) std::snprintf(g_dbgHelpOverride, sizeof g_dbgHelpOverride, "%s", path);
}

// ---- Structured exceptions ---------------------------------------------------

_se_translator_function _set_se_translator(_se_translator_function translator) {
    ThreadFaultState& state = t_fault;
    const _se_translator_function previous = state.translator;
    if (translator) {
        InstallHandlersOnce();
        PrepareThread(state);
    }
    state.translator = translator;
    return previous;
}

void RaiseException(DWORD code, DWORD flags, DWORD numberOfArguments, const ULONG_PTR* arguments) {
    UTL::win::RaiseExceptionAt(__builtin_return_address(0), code, flags, numberOfArguments,
                               arguments);
}

void UTL::win::RaiseExceptionAt(PVOID address, DWORD code, DWORD flags, DWORD numberOfArguments,
                                const ULONG_PTR* arguments) {
    ThreadFaultState& state = t_fault;
    if (state.depth > 0) throw NestedFaultT{};
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionFlags = flags & EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = address;
    if (numberOfArguments > EXCEPTION_MAXIMUM_PARAMETERS)
        numberOfArguments = EXCEPTION_MAXIMUM_PARAMETERS;
    record.NumberParameters = arguments ? numberOfArguments : 0;
    for (DWORD i = 0; i < record.NumberParameters; ++i)
        record.ExceptionInformation[i] = arguments[i];
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    GetThreadContext(GetCurrentThread(), &context);
    EXCEPTION_POINTERS pointers = {&record, &context};
    if (state.translator) {
        DepthGuard inside(state);
        state.translator(code, &pointers);
    }
    std::terminate();  // an exception that nobody translates ends the process
}

// ---- Date and time -----------------------------------------------------------

namespace {

void TwoDigits(char* out, int value) {
    if (value < 0) value = 0;
    out[0] = static_cast<char>('0' + (value / 10) % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

// Three two-digit fields joined by `separator`, into 9 bytes.
char* ThreeFields(char* buffer, int a, int b, int c, char separator) {
    TwoDigits(buffer, a);
    buffer[2] = separator;
    TwoDigits(buffer + 3, b);
    buffer[5] = separator;
    TwoDigits(buffer + 6, c);
    buffer[8] = '\0';
    return buffer;
}

bool LocalNow(std::tm& out) {
    const std::time_t now = std::time(nullptr);
    return localtime_r(&now, &out) != nullptr;
}

}  // namespace

char* _strdate(char* buffer) {
    std::tm now = {};
    LocalNow(now);
    return ThreeFields(buffer, now.tm_mon + 1, now.tm_mday, now.tm_year % 100, '/');
}

char* _strtime(char* buffer) {
    std::tm now = {};
    LocalNow(now);
    return ThreeFields(buffer, now.tm_hour, now.tm_min, now.tm_sec, ':');
}

__time64_t _time64(__time64_t* result) {
    const __time64_t now = static_cast<__time64_t>(std::time(nullptr));
    if (result) *result = now;
    return now;
}

std::tm* _localtime64(const __time64_t* time) {
    static thread_local std::tm local;
    if (!time) return nullptr;
    const std::time_t value = static_cast<std::time_t>(*time);
    return localtime_r(&value, &local);
}
