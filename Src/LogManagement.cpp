// The log manager: sink registry, formatting and dispatch.
#include <UTL/LogManagement.h>

#include <UTL/BSS.h>

#include <langinfo.h>

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

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

class LogManagementDataC {
public:
    std::vector<LogSinkI*> sinks;  // registration order, each at most once
    BSS::TSK::MutexC lock;         // recursive: Log holds it around LogMessage
};

namespace {

// The one message buffer of the process; used only under the manager lock.
char g_message[1024];

// Appends to a fixed buffer, keeping room for the terminator; what does not
// fit is dropped, as vsnprintf drops it.
class BoundedWriter {
public:
    BoundedWriter(char* out, std::size_t size) : m_pos(out), m_last(out + size - 1) {}

    void Put(char c) {
        if (m_pos < m_last) *m_pos++ = c;
    }
    void Append(const char* s, std::size_t n) {
        const std::size_t room = static_cast<std::size_t>(m_last - m_pos);
        if (n > room) n = room;
        std::memcpy(m_pos, s, n);
        m_pos += n;
    }
    void Unsigned(unsigned long v, unsigned base, const char* digits) {
        char text[24];
        char* p = text + sizeof text;
        do {
            *--p = digits[v % base];
            v /= base;
        } while (v);
        Append(p, static_cast<std::size_t>(text + sizeof text - p));
    }
    void Signed(long v) {
        if (v < 0) Put('-');
        // Negated in unsigned arithmetic: LONG_MIN needs no special case.
        Unsigned(v < 0 ? 0ul - static_cast<unsigned long>(v) : static_cast<unsigned long>(v), 10,
                 "0123456789");
    }
    void Terminate() { *m_pos = '\0'; }

private:
    char* m_pos;
    char* const m_last;
};

// "%f" or "%.<digits>f" at `f` (just after the "%"), for finite doubles of
// moderate size: std::to_chars in fixed notation yields printf's text in the
// C locale and the default rounding mode, so this is used only while the
// locale's radix character is "." and the rounding mode is to-nearest.
// Advances `f` past the directive; false for anything else.
bool FixedPoint(BoundedWriter& w, const char*& f, va_list* args) {
    int precision = 6;
    const char* p = f;
    if (*p == '.') {
        ++p;
        precision = 0;
        for (int digits = 0; *p >= '0' && *p <= '9'; ++digits, ++p) {
            if (digits == 2) return false;  // more than 99 digits: the C library's task
            precision = precision * 10 + (*p - '0');
        }
    }
    if (*p != 'f') return false;
    const char* radix = nl_langinfo(RADIXCHAR);
    if (!radix || radix[0] != '.' || radix[1] != '\0') return false;
    if (std::fegetround() != FE_TONEAREST) return false;  // printf would round otherwise
    // Consume the argument only once the directive is known to be ours.
    const double value = va_arg(*args, double);
    if (!std::isfinite(value) || std::fabs(value) >= 1e17) return false;
    char text[160];
    const std::to_chars_result r =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
    if (r.ec != std::errc()) return false;
    w.Append(text, static_cast<std::size_t>(r.ptr - text));
    f = p + 1;
    return true;
}

// Formats the plain directives that log messages mostly use (%d %i %u %x %X
// %c %s %% with an optional "l", no flags, width or precision; %f and %.Nf) exactly as
// vsnprintf does, without its per-call parsing overhead. Returns false, with
// the buffer in no particular state, as soon as it meets anything else (or a
// null string); the caller then formats with vsnprintf from a fresh copy of
// the arguments.
bool FormatPlain(char* out, std::size_t size, const char* format, va_list* args) {
    BoundedWriter w(out, size);
    const char* f = format;
    while (*f) {
        const char* percent = std::strchr(f, '%');
        if (!percent) {
            w.Append(f, std::strlen(f));
            break;
        }
        w.Append(f, static_cast<std::size_t>(percent - f));
        f = percent + 1;
        if (*f == '.' || *f == 'f') {
            if (!FixedPoint(w, f, args)) return false;
            continue;
        }
        const bool isLong = *f == 'l';
        if (isLong) ++f;
        switch (*f) {
            case 'd':
            case 'i':
                w.Signed(isLong ? va_arg(*args, long) : va_arg(*args, int));
                break;
            case 'u':
                w.Unsigned(isLong ? va_arg(*args, unsigned long) : va_arg(*args, unsigned int), 10,
                           "0123456789");
                break;
            case 'x':
                w.Unsigned(isLong ? va_arg(*args, unsigned long) : va_arg(*args, unsigned int), 16,
                           "0123456789abcdef");
                break;
            case 'X':
                w.Unsigned(isLong ? va_arg(*args, unsigned long) : va_arg(*args, unsigned int), 16,
                           "0123456789ABCDEF");
                break;
            case 'c':
                if (isLong) return false;
                w.Put(static_cast<char>(static_cast<unsigned char>(va_arg(*args, int))));
                break;
            case 's': {
                if (isLong) return false;
                const char* s = va_arg(*args, const char*);
                if (!s) return false;  // "(null)" is left to the C library
                w.Append(s, std::strlen(s));
                break;
            }
            case '%':
                if (isLong) return false;
                w.Put('%');
                break;
            default:
                return false;
        }
        ++f;
    }
    w.Terminate();
    return true;
}

// Formats a message into g_message with vsnprintf's result, cut at 1023
// characters. `args` is left untouched (copies are consumed).
void FormatMessage(const char* format, va_list args) {
    if (!format) {
        g_message[0] = '\0';
        return;
    }
    va_list copy;
    va_copy(copy, args);
    const bool done = FormatPlain(g_message, sizeof g_message, format, &copy);
    va_end(copy);
    if (done) return;
    va_copy(copy, args);
    std::vsnprintf(g_message, sizeof g_message, format, copy);
    va_end(copy);
}

}  // namespace

LogManagementC* LogManagementC::s_instance = nullptr;

LogManagementC::LogManagementC() : m_data(new LogManagementDataC) {}

LogManagementC::~LogManagementC() {
    try {
        for (LogSinkI* sink : m_data->sinks) delete sink;
        m_data->sinks.clear();
    } catch (...) {
        // A throwing sink destructor must not keep the manager alive.
    }
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
}

bool LogManagementC::AddSink(LogSinkI* sink) {
    LogManagementDataC* data = Instance()->GetData();
    BSS::TSK::GuardC guard(data->lock, -1);
    if (!sink || std::find(data->sinks.begin(), data->sinks.end(), sink) != data->sinks.end())
        return false;
    data->sinks.push_back(sink);
    return true;
}

bool LogManagementC::RemoveSink(LogSinkI* sink, bool destroy) {
    LogManagementDataC* data = Instance()->GetData();
    BSS::TSK::GuardC guard(data->lock, -1);
    auto it = std::find(data->sinks.begin(), data->sinks.end(), sink);
    if (it == data->sinks.end()) return false;
    data->sinks.erase(it);
    if (destroy) delete sink;
    return true;
}

void LogManagementC::Log(const char* file, int line, unsigned long mask, const char* format, ...) {
    LogManagementC* manager = Instance();
    BSS::TSK::GuardC guard(manager->GetData()->lock, -1);
    va_list args;
    va_start(args, format);
    try {
        manager->LogMessage(file, line, mask, format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void LogManagementC::LogMessage(const char* file, int line, unsigned long mask, const char* format,
                                va_list args) const {
    const LogManagementDataC* data = GetData();
    BSS::TSK::GuardC guard(const_cast<BSS::TSK::MutexC&>(data->lock), -1);
    // The text is formatted when the first sink accepts the message and handed
    // to every later accepting sink as it is: formatting the same arguments
    // again would give the same text. Nothing is formatted for no taker.
    bool formatted = false;
    for (std::size_t i = 0; i < data->sinks.size(); ++i) {
        const LogSinkI* sink = data->sinks[i];
        if (!sink->IsEnabled(mask)) continue;
        if (!formatted) {
            FormatMessage(format, args);
            formatted = true;
        }
        sink->LogMessage(file, line, mask, g_message);
    }
}

}  // namespace UTL
