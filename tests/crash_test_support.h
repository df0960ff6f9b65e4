// Helpers of the crash reporter tests: child processes with a report file and
// a log file, faults at known instructions, the debugging-help library.
#pragma once

#include <UTL/ExceptionHandler.h>
#include <UTL/LogManagement.h>
#include <UTL/WideText.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "Arch.h"

namespace crashtest {

// Runs `body` in a forked child that exits with its result (98 when it throws,
// SIGALRM after a minute's hang). Returns the wait status.
template <class Body>
int RunInChild(Body body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(60);
        int code = 98;
        try {
            code = body();
        } catch (...) {
        }
        std::fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

inline std::string ReadFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline int CountOf(const std::string& text, const std::string& piece) {
    int count = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

inline std::string SelfPath() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    return std::string(path, n > 0 ? static_cast<size_t>(n) : 0);
}

// A fresh directory, removed with its files.
struct TempDir {
    std::string path = [] {
        char pattern[] = "/tmp/utl-crash-XXXXXX";
        return std::string(mkdtemp(pattern) ? pattern : "/tmp/utl-crash-failed");
    }();
    ~TempDir() { (void)!std::system(("rm -rf '" + path + "'").c_str()); }
    std::string File(const std::string& name) const { return path + "/" + name; }
};

// Appends every message to a file descriptor: no heap, nothing lost when the
// process dies right after.
struct FdSinkC : UTL::LogSinkI {
    explicit FdSinkC(int descriptor) : fd(descriptor) {}
    void LogMessage(const char*, int, unsigned long, const char* text) const override {
        (void)!write(fd, text, std::strlen(text));
    }
    int fd;
};

// How a child ended, with the texts of its report file and its log.
struct Outcome {
    int status = 0;
    std::string path, report, log;  // the report file's path and text, the log's text
    bool Exited(int code = 0) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    // Died of an untranslated fault: by the signal, or under AddressSanitizer
    // (whose handler came first and gets the fault) by its report.
    bool DiedOf(int signal) const {
#if defined(__SANITIZE_ADDRESS__)
        if (Exited(1)) return true;
#endif
        return WIFSIGNALED(status) && WTERMSIG(status) == signal;
    }
    friend std::ostream& operator<<(std::ostream& out, const Outcome& o) {
        return out << "status " << o.status << "\n" << o.report.substr(0, 4000) << "\n" << o.log;
    }
};

// Runs `body` in a child whose report file is `dir`/r.RPT and whose log
// messages go to `dir`/log.
template <class Body>
Outcome RunReporting(Body body, const TempDir& dir = TempDir()) {
    Outcome out;
    out.path = dir.File("r.RPT");
    out.status = RunInChild([&] {
        CExceptionLog::SetLogfileName(out.path.c_str());
        const int fd = open(dir.File("log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        UTL::LogManagementC::AddSink(new FdSinkC(fd));
        return body();
    });
    out.report = ReadFile(out.path);
    out.log = ReadFile(dir.File("log"));
    return out;
}

// Runs `fault` and tells whether it came back as an ExceptionHandlerC. A
// function is called through a pointer the compiler cannot see through: without
// g++'s -fnon-call-exceptions (clang has no such mode) a compiler keeps a catch
// only around calls that may throw, and a call it can follow into a function it
// proves unable to throw is not one of them.
inline bool Caught(void (*fault)()) {
    void (*volatile opaque)() = fault;
    try {
        opaque();
    } catch (ExceptionHandlerC&) {
        return true;
    }
    return false;
}
template <class Fault>
bool Caught(Fault fault) {
    try {
        fault();
    } catch (ExceptionHandlerC&) {
        return true;
    }
    return false;
}

// An entry point of the debugging-help library, loaded as the reporter loads
// it (from the directory of libutl.so); null when missing.
inline void* DbgHelpEntry(const char* name) {
    static void* const library = [] {
        Dl_info info{};
        dladdr(reinterpret_cast<const void*>(&lwcslen), &info);
        const std::string path = info.dli_fname ? info.dli_fname : "";
        return dlopen((path.substr(0, path.rfind('/') + 1) + "libutldbghelp.so.1").c_str(),
                      RTLD_NOW | RTLD_LOCAL);
    }();
    return library ? dlsym(library, name) : nullptr;
}
#define UTL_DBGHELP(name) reinterpret_cast<PFN_##name>(crashtest::DbgHelpEntry(#name))

// The library and libdw.so.1, which it symbolises with, can open a session.
inline bool DbgHelpUsable() {
    static const bool usable = DbgHelpEntry("SymCleanup") &&
                               UTL_DBGHELP(SymInitialize)(nullptr, nullptr, 1) &&
                               UTL_DBGHELP(SymCleanup)(nullptr);
    return usable;
}

// Faults at two different instructions, and a third kind.
#define UTL_FAULT_FUNCTION __attribute__((noinline, no_sanitize("undefined"))) inline void
inline int* volatile g_null = nullptr;
UTL_FAULT_FUNCTION NullWrite() {
    *g_null = 1;
}
UTL_FAULT_FUNCTION NullWrite2() {
    g_null[2] = 2;
}
UTL_FAULT_FUNCTION IllegalInstruction() {
#if defined(__aarch64__)
    asm volatile(".inst 0x00000000");  // udf #0
#elif defined(__arm__)
    asm volatile("udf #0");
#else
    asm volatile("ud2");
#endif
}
#undef UTL_FAULT_FUNCTION

// Sets the control registers of a context built by hand.
inline void SetControl(CONTEXT& context, std::uintptr_t pc, std::uintptr_t sp, std::uintptr_t fp) {
#if defined(__x86_64__)
    context.Rip = pc, context.Rsp = sp, context.Rbp = fp;
#elif defined(__i386__)
    context.Eip = pc, context.Esp = sp, context.Ebp = fp;
#elif defined(__aarch64__)
    context.Pc = pc, context.Sp = sp, context.Fp = fp;
#elif defined(__arm__)
    context.Pc = pc, context.Sp = sp, context.R[11] = fp;
#endif
}

// The control registers of a machine context.
inline CONTEXT ControlOf(const ucontext_t& uc) {
    CONTEXT context{};
#if defined(__x86_64__)
    const greg_t* g = uc.uc_mcontext.gregs;
    SetControl(context, g[REG_RIP], g[REG_RSP], g[REG_RBP]);
#elif defined(__i386__)
    const greg_t* g = uc.uc_mcontext.gregs;
    SetControl(context, g[REG_EIP], g[REG_ESP], g[REG_EBP]);
#elif defined(__aarch64__)
    SetControl(context, uc.uc_mcontext.pc, uc.uc_mcontext.sp, uc.uc_mcontext.regs[29]);
#elif defined(__arm__)
    // Every register: the walk by the unwind tables may need a frame pointer.
    const mcontext_t& m = uc.uc_mcontext;
    const unsigned long general[13] = {m.arm_r0,  m.arm_r1, m.arm_r2, m.arm_r3, m.arm_r4,
                                       m.arm_r5,  m.arm_r6, m.arm_r7, m.arm_r8, m.arm_r9,
                                       m.arm_r10, m.arm_fp, m.arm_ip};
    for (int i = 0; i < 13; ++i) context.R[i] = static_cast<DWORD>(general[i]);
    context.Lr = m.arm_lr;
    SetControl(context, m.arm_pc, m.arm_sp, m.arm_fp);
#endif
    return context;
}

// Bit 0 of a code pointer (a function, a return address) marks Thumb code on
// 32-bit ARM and is no part of the address.
#if defined(__arm__)
constexpr DWORD64 kCodeModeBit = 1;
#else
constexpr DWORD64 kCodeModeBit = 0;
#endif

// The machine type of StackWalk on this architecture.
#if defined(__x86_64__)
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#elif defined(__i386__)
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_I386;
#elif defined(__aarch64__)
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_ARM64;
#elif defined(__arm__)
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_ARMNT;
#endif

// The hexadecimal number after `label` in the first block of `report`, or
// ~0 when there is none.
inline std::uintptr_t NumberAfter(const std::string& report, const std::string& label) {
    const auto at = report.find(label);
    if (at == std::string::npos) return ~std::uintptr_t{0};
    return static_cast<std::uintptr_t>(
        std::strtoull(report.c_str() + at + label.size(), nullptr, 16));
}
inline std::uintptr_t FaultAddressOf(const std::string& report) {
    return NumberAfter(report, "\nFault address:  ");
}
// The instruction pointer of the register block (on x86 after the code
// segment, "CS:RIP:0033:...").
inline std::uintptr_t InstructionPointerOf(const std::string& report) {
#if defined(__x86_64__)
    const std::string label = "\nCS:RIP:";
#elif defined(__i386__)
    const std::string label = "\nCS:EIP:";
#elif defined(__aarch64__) || defined(__arm__)
    const std::string label = "\nPC:";
#endif
    const auto at = report.find(label);
    if (at == std::string::npos) return ~std::uintptr_t{0};
    const bool segment = label[1] == 'C';
    return NumberAfter(report.substr(at + label.size() + (segment ? 5 : 0)), "");
}
// The register block of a report, as a regular expression.
inline std::string RegisterBlockPattern() {
    const auto lines = [](std::initializer_list<const char*> names, int digits) {
        std::string text;
        for (const char* name : names)
            text += std::string(name) + ":[0-9A-F]{" + std::to_string(digits) + "}\n";
        return text;
    };
    const std::string hex4 = "[0-9A-F]{4}";
#if defined(__x86_64__)
    return lines({"RAX", "RBX", "RCX", "RDX", "RSI", "RDI", "R8", "R9", "R10", "R11", "R12", "R13",
                  "R14", "R15"},
                 16) +
           "CS:RIP:" + hex4 + ":[0-9A-F]{16}\nSS:RSP:" + hex4 +
           ":[0-9A-F]{16}  RBP:[0-9A-F]{16}\n" + "DS:" + hex4 + "  ES:" + hex4 + "  FS:" + hex4 +
           "  GS:" + hex4 + "\nFlags:[0-9A-F]{8}\n";
#elif defined(__i386__)
    return lines({"EAX", "EBX", "ECX", "EDX", "ESI", "EDI"}, 8) + "CS:EIP:" + hex4 +
           ":[0-9A-F]{8}\nSS:ESP:" + hex4 + ":[0-9A-F]{8}  EBP:[0-9A-F]{8}\n" + "DS:" + hex4 +
           "  ES:" + hex4 + "  FS:" + hex4 + "  GS:" + hex4 + "\nFlags:[0-9A-F]{8}\n";
#elif defined(__aarch64__)
    std::string text;
    for (int i = 0; i <= 28; ++i) text += "X" + std::to_string(i) + ":[0-9A-F]{16}\n";
    return text + lines({"FP", "LR", "SP", "PC"}, 16) + "PSTATE:[0-9A-F]{8}\n";
#elif defined(__arm__)
    std::string text;
    for (int i = 0; i <= 12; ++i) text += "R" + std::to_string(i) + ":[0-9A-F]{8}\n";
    return text + lines({"SP", "LR", "PC", "CPSR"}, 8);
#endif
}

// One whole exception block of the frame-pointer walk form.
inline std::string BlockPattern(const std::string& codeLine = "[^\n]+") {
    return "//=============== Exception start ===================\n"
           "Date/time of exception: [0-9]{2}/[0-9]{2}/[0-9]{2} - [0-9]{2}:[0-9]{2}:[0-9]{2}\n"
           "Exception code: " +
           codeLine +
           "\nFault address:  [0-9A-F]{8,} [0-9A-F]{2}:[0-9A-F]{8} [^\n]*\n\nRegisters:\n" +
           RegisterBlockPattern() +
           "\nCall stack:\n    Address   Frame     Logical addr  Module\n"
           "( ?[0-9]+: [0-9A-F]{8,}  [0-9A-F]{8,}  [0-9A-F]{4}:[0-9A-F]{8} [^\n]* "
           "\\(Version: not available\\)\n)+"
           "//=============== Exception end ===================\n\n";
}

inline std::uintptr_t FirstFrameOf(const std::string& report) {
    return NumberAfter(report, "Module\n 1: ");
}

}  // namespace crashtest
