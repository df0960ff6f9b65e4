// What one report holds from its start to its end: the report lock and, once
// that is held, the snapshot of the loaded objects its frames are looked up in
// (the snapshot is shared, so only the lock's holder may take it).
#pragma once

#include "fault/Fault.h"
#include "win/Services.h"

class ReportScope {
public:
    ReportScope() {
        if (m_lock.Held()) BeginModuleSnapshot();
    }
    ReportScope(const ReportScope&) = delete;
    ReportScope& operator=(const ReportScope&) = delete;
    ~ReportScope() {
        if (m_lock.Held()) EndModuleSnapshot();
    }
    bool Held() const { return m_lock.Held(); }

private:
    UTL::fault::ReportLock m_lock;
};
