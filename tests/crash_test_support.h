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
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

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
    explicit FdSinkC(int fd) : fd(fd) {}
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

// Runs `fault` and tells whether it came back as an ExceptionHandlerC.
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

// Faults at known instructions, labelled where tests compare fault addresses.

#define UTL_FAULT_FUNCTION __attribute__((noinline, noclone)) inline void
UTL_FAULT_FUNCTION NullWrite() {
    asm volatile(
        "xor %%eax, %%eax\n .globl utl_test_null_write\n"
        "utl_test_null_write: movl $1, (%%rax)" ::
            : "rax", "memory");
}
UTL_FAULT_FUNCTION NullWrite2() {
    asm volatile("xor %%eax, %%eax\n movl $2, 8(%%rax)" ::: "rax", "memory");
}
UTL_FAULT_FUNCTION IntDivideByZero() {
    asm volatile(
        "xor %%ecx, %%ecx\n mov $7, %%eax\n cltd\n .globl utl_test_divide\n"
        "utl_test_divide: idivl %%ecx" ::
            : "rax", "rcx", "rdx", "cc");
}
UTL_FAULT_FUNCTION IllegalInstruction() {
    asm volatile(".globl utl_test_ud2\n utl_test_ud2: ud2");
}
UTL_FAULT_FUNCTION Breakpoint() {
    asm volatile(".globl utl_test_int3\n utl_test_int3: int3");
}
#undef UTL_FAULT_FUNCTION

}  // namespace crashtest

extern "C" char utl_test_null_write[], utl_test_divide[], utl_test_ud2[], utl_test_int3[];
