// The structured-exception translator and the report of exception pointers.
#include <UTL/ExceptionHandler.h>
#include <UTL/LogManagement.h>

#include <cxxabi.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "Arch.h"
#include "FlushAtDeath.h"
#include "LoadOrder.h"
#include "ReportScope.h"
#include "fault/Fault.h"
#include "win/Services.h"

unsigned long ExceptionHandlerC::m_dwLastError = 0;

namespace {

// Whether any fault has been translated yet: until then m_dwLastError holds
// no address, so that a first fault at address 0 (a call through a null
// pointer) is not taken for a repeat.
std::atomic<bool> g_faultTranslated{false};

// The exception object that a translated fault was thrown as, and its signal.
thread_local const ExceptionHandlerC* t_thrownFault = nullptr;
thread_local int t_thrownSignal = 0;

// A fault whose exception cannot be caught (the code around it was compiled
// as unable to throw, or nothing catches it) ends the process by its own
// signal rather than by abort, its report already on disk. Called by the
// library's terminate handler; returns for every other exception.
void DieIfUncaughtFault() {
    if (t_thrownFault && t_thrownSignal && std::current_exception()) {
        try {
            throw;
        } catch (const ExceptionHandlerC& thrown) {
            if (&thrown == t_thrownFault) UTL::fault::DieBySignal(t_thrownSignal);
        } catch (...) {
        }
    }
}

void DestroyThrownFault(void* object) {
    static_cast<ExceptionHandlerC*>(object)->~ExceptionHandlerC();
}

// Throws a copy of `report` made in the exception object's own storage, so
// that the exception object is known by its address, however a compiler would
// have built it from a throw expression (copied or elided).
[[noreturn]] void ThrowFault(const ExceptionHandlerC& report, int signal) {
    void* const object = abi::__cxa_allocate_exception(sizeof(ExceptionHandlerC));
    t_thrownFault = new (object) ExceptionHandlerC(report);
    t_thrownSignal = signal;
    abi::__cxa_throw(object, const_cast<std::type_info*>(&typeid(ExceptionHandlerC)),
                     DestroyThrownFault);
}

// The line of a report of a fault signal that was sent rather than raised by
// a faulting instruction: the signal and, where the kernel says, its sender.
void WriteSentSignal() {
    long sender = 0;
    if (!UTL::fault::ReportedSignalWasSent(sender)) return;
    const char* name = sigabbrev_np(UTL::fault::TranslatingSignal());
    if (sender > 0) {
        CExceptionLog::WriteLogfile("Signal sent:    SIG%s by process %ld\n", name ? name : "?",
                                    sender);
    } else {
        CExceptionLog::WriteLogfile("Signal sent:    SIG%s\n", name ? name : "?");
    }
}

}  // namespace

ExceptionHandlerC::ExceptionHandlerC()
    : CExceptionParse(0),
      m_pfnPreviousTranslator(nullptr),
      m_bInstalledTranslator(true),
      m_dwExceptionCode(0),
      m_pExceptionAddress(nullptr) {
    // The translator logs through the manager; create it now, so that a fault
    // (perhaps inside the allocator) does not have to.
    UTL::LogManagementC::Instance();
    UTL::detail::InstallTerminateHandler(DieIfUncaughtFault);
    m_pfnPreviousTranslator = _set_se_translator(ExceptionTranslator);
}

ExceptionHandlerC::ExceptionHandlerC(EXCEPTION_POINTERS* pointers)
    : CExceptionParse(0),
      m_pfnPreviousTranslator(nullptr),
      m_bInstalledTranslator(false),
      m_dwExceptionCode(0),
      m_pExceptionAddress(nullptr) {
    if (pointers && pointers->ExceptionRecord) {
        m_dwExceptionCode = pointers->ExceptionRecord->ExceptionCode;
        m_pExceptionAddress = pointers->ExceptionRecord->ExceptionAddress;
    }
    GenerateExceptionReport(pointers);
}

namespace {

// The report of a fault the process will not survive, for the fault layer;
// installed at load with the report writer (LoadOrder.h), before any fault
// handler can be.
struct FatalReports {
    FatalReports() {
        UTL::fault::SetFatalReportWriter(
            [](EXCEPTION_POINTERS* pointers) { ExceptionHandlerC report(pointers); });
    }
};
const FatalReports g_fatalReports __attribute__((init_priority(UTL::detail::kBuildReportWriter)));

}  // namespace

ExceptionHandlerC::ExceptionHandlerC(const ExceptionHandlerC& other)
    : CExceptionParse(other),
      m_pfnPreviousTranslator(other.m_pfnPreviousTranslator),
      m_bInstalledTranslator(false),
      m_dwExceptionCode(other.m_dwExceptionCode),
      m_pExceptionAddress(other.m_pExceptionAddress) {}

ExceptionHandlerC& ExceptionHandlerC::operator=(const ExceptionHandlerC& other) {
    m_pfnPreviousTranslator = other.m_pfnPreviousTranslator;
    m_dwExceptionCode = other.m_dwExceptionCode;
    m_pExceptionAddress = other.m_pExceptionAddress;
    return *this;
}

DWORD ExceptionHandlerC::GetExceptionCode() const {
    return m_dwExceptionCode;
}

void* ExceptionHandlerC::GetExceptionAddress() const {
    return m_pExceptionAddress;
}

ExceptionHandlerC::~ExceptionHandlerC() {
    if (this == t_thrownFault) t_thrownFault = nullptr;
    if (m_bInstalledTranslator) _set_se_translator(m_pfnPreviousTranslator);
}

void ExceptionHandlerC::ExceptionTranslator(unsigned int, EXCEPTION_POINTERS* pointers) {
    try {
        UTL::LogManagementC::Log(__FILE__, __LINE__, UTL::LogSinkI::LOG_DevMessage,
                                 "Writing Exception information to %s\n",
                                 CExceptionLog::GetLogfileName());
    } catch (...) {
        // A sink that throws or faults must not stop the report.
    }
    if (!pointers || !pointers->ExceptionRecord) return;
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionFlags & EXCEPTION_UNWINDING) return;
    const unsigned long address = reinterpret_cast<unsigned long>(record->ExceptionAddress);
    if (g_faultTranslated.load(std::memory_order_acquire) &&
        __atomic_load_n(&m_dwLastError, __ATOMIC_RELAXED) == address)
        return;
    __atomic_store_n(&m_dwLastError, address, __ATOMIC_RELAXED);
    g_faultTranslated.store(true, std::memory_order_release);
    // Report first, then throw a copy: the report is on disk before the
    // exception object takes heap memory.
    ExceptionHandlerC report(pointers);
    ThrowFault(report, UTL::fault::TranslatingSignal());
}

void ExceptionHandlerC::GenerateExceptionReport(EXCEPTION_POINTERS* pointers) {
    if (!pointers || !pointers->ExceptionRecord || !pointers->ContextRecord) return;
    ReportScope report;
    if (!report.Held()) return;
    try {
        const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
        const bool unwinding = (record->ExceptionFlags & EXCEPTION_UNWINDING) != 0;
        if (CExceptionLog::OpenLogfile(1) == INVALID_HANDLE_VALUE) return;
        if (unwinding) {
            CExceptionLog::WriteLogfile("//============ Unwinding exception ================\n");
            CExceptionLog::CloseLogfile();
            return;
        }
        WriteBlockStart();
        CExceptionLog::WriteLogfile("Exception code: %08lX %s\n",
                                    static_cast<unsigned long>(record->ExceptionCode),
                                    CExceptionLog::GetExceptionString(record->ExceptionCode));
        WriteSentSignal();
        WriteFaultAddress(record->ExceptionAddress);
        WriteRegisters(pointers->ContextRecord);
        WriteCallStack(pointers->ContextRecord, __FILE__, __LINE__);
        WriteBlockEnd();
        CExceptionLog::CloseLogfile();
    } catch (...) {
        CExceptionLog::CloseLogfile();
    }
}

void ExceptionHandlerC::ReportAborts(int on) {
    UTL::fault::ReportAborts(on != 0);
}

__attribute__((noinline)) void DoRaise(void* object, void* throwInfo) {
    // The exception is raised at the caller, whose registers the report shows,
    // so that raises from different places are not taken for a repeated fault
    // at one address.
    CONTEXT context;
    UTL_CAPTURE_CALLER(context);
    const ULONG_PTR arguments[3] = {0x19930520, reinterpret_cast<ULONG_PTR>(object),
                                    reinterpret_cast<ULONG_PTR>(throwInfo)};
    UTL::fault::RaiseException(context, 0xE06D7363, EXCEPTION_NONCONTINUABLE, 3, arguments);
}

void PreviewException(void*, void*, const std::type_info*) {}
