// Helpers of the crash reporter tests: child processes, temporary
// directories, report files and a log sink that records messages.
#pragma once

#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>

#include <cxxabi.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

namespace crashtest {

// Runs `body` in a forked child that exits with its result (98 when it
// throws) and returns the child's wait status.
template <class Body>
int RunInChild(Body body) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        int code = 98;
        try {
            code = body();
        } catch (...) {
            const std::type_info* type = abi::__cxa_current_exception_type();
            std::fprintf(stderr, "child: uncaught exception %s\n", type ? type->name() : "?");
        }
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(code);
    }
    // A child that hangs is killed after two minutes, so a hang fails the test
    // instead of stalling the run.
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; ++waited) {
        if (waited == 120 * 100) {
            std::fprintf(stderr, "child %d hangs: killed\n", static_cast<int>(pid));
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        usleep(10000);
    }
    return status;
}

inline std::string Describe(int status) {
    if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

inline bool ExitedWith(int status, int code) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

inline bool KilledBy(int status, int signal) {
    return WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline int CountOf(const std::string& text, const std::string& piece) {
    int count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos;
         at = text.find(piece, at + piece.size()))
        ++count;
    return count;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// A fresh directory, removed with its files.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/utl-crash-XXXXXX";
        const char* made = mkdtemp(pattern);
        m_path = made ? made : "/tmp";
    }
    ~TempDir() {
        const std::string command = "rm -rf '" + m_path + "'";
        if (m_path != "/tmp") (void)std::system(command.c_str());
    }
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Records every message in a fixed table, without heap memory, so that it
// can run inside a report.
class RecordingSinkC : public UTL::LogSinkI {
public:
    enum { kMessages = 16, kLength = 512 };
    void LogMessage(const char*, int, unsigned long, const char* text) const override {
        if (m_count >= kMessages) return;
        std::snprintf(m_text[m_count], kLength, "%s", text);
        ++m_count;
    }
    int Count() const { return m_count; }
    const char* Text(int i) const { return m_text[i]; }
    int CountStartingWith(const char* prefix) const {
        int n = 0;
        for (int i = 0; i < m_count; ++i)
            if (std::strncmp(m_text[i], prefix, std::strlen(prefix)) == 0) ++n;
        return n;
    }

private:
    mutable int m_count = 0;
    mutable char m_text[kMessages][kLength] = {};
};

}  // namespace crashtest

// ---- Faults at known instructions ----------------------------------------------
// Each function faults at one instruction of its own, marked by a global label,
// so that tests can tell fault addresses apart and compare them.

extern "C" char utl_test_null_write[], utl_test_null_write2[], utl_test_divide[], utl_test_ud2[],
    utl_test_int3[], utl_test_bus_read[];

namespace crashtest {

__attribute__((noinline, noclone)) inline void NullWrite() {
    asm volatile(
        "xor %%eax, %%eax\n"
        ".globl utl_test_null_write\n"
        "utl_test_null_write: movl $1, (%%rax)" ::
            : "rax", "memory");
}

__attribute__((noinline, noclone)) inline void NullWrite2() {
    asm volatile(
        "xor %%eax, %%eax\n"
        ".globl utl_test_null_write2\n"
        "utl_test_null_write2: movl $2, 8(%%rax)" ::
            : "rax", "memory");
}

__attribute__((noinline, noclone)) inline void IntDivideByZero() {
    asm volatile(
        "xor %%ecx, %%ecx\n"
        "mov $7, %%eax\n"
        "cltd\n"
        ".globl utl_test_divide\n"
        "utl_test_divide: idivl %%ecx" ::
            : "rax", "rcx", "rdx", "cc");
}

__attribute__((noinline, noclone)) inline void IllegalInstruction() {
    asm volatile(
        ".globl utl_test_ud2\n"
        "utl_test_ud2: ud2");
}

__attribute__((noinline, noclone)) inline void Breakpoint() {
    asm volatile(
        ".globl utl_test_int3\n"
        "utl_test_int3: int3");
}

// Reads one byte at `address` (a page past the end of a mapped file).
__attribute__((noinline, noclone)) inline void BusRead(const void* address) {
    asm volatile(
        ".globl utl_test_bus_read\n"
        "utl_test_bus_read: movzbl (%0), %%eax" ::"r"(address)
        : "rax", "memory");
}

// Writes known values into the six registers of the report, then faults.
__attribute__((noinline, noclone)) inline void NullWriteWithRegisters() {
    asm volatile(
        "movabs $0x1111111111111111, %%rax\n"
        "movabs $0x2222222222222222, %%rbx\n"
        "movabs $0x3333333333333333, %%rcx\n"
        "movabs $0x4444444444444444, %%rdx\n"
        "movabs $0x5555555555555555, %%rsi\n"
        "mov $0xABCDEF, %%edi\n"
        "xor %%r8d, %%r8d\n"
        "movl $1, (%%r8)" ::
            : "rax", "rbx", "rcx", "rdx", "rsi", "rdi", "r8", "memory");
}

}  // namespace crashtest
