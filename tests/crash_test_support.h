// Helpers of the crash reporter tests: child processes, temporary
// directories, report files and a log sink that records messages.
#pragma once

#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
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
        }
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
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
