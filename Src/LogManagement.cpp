// The log manager: sink registry, formatting and dispatch.
#include <UTL/LogManagement.h>

#include <UTL/BSS.h>

#include <algorithm>
#include <cstdio>
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

void LogManagementC::LogMessage(const char* file, int line, unsigned long mask,
                                const char* format, va_list args) const {
    const LogManagementDataC* data = GetData();
    BSS::TSK::GuardC guard(const_cast<BSS::TSK::MutexC&>(data->lock), -1);
    for (size_t i = 0; i < data->sinks.size(); ++i) {
        const LogSinkI* sink = data->sinks[i];
        if (!sink->IsEnabled(mask)) continue;
        // Each sink's text is formatted afresh from its own copy of the list.
        va_list copy;
        va_copy(copy, args);
        std::vsnprintf(g_message, sizeof g_message, format ? format : "", copy);
        va_end(copy);
        sink->LogMessage(file, line, mask, g_message);
    }
}

}  // namespace UTL
