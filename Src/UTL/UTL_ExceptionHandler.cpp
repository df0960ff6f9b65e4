// The structured-exception translator and the report of exception pointers.
#include <UTL/ExceptionHandler.h>
#include <UTL/LogManagement.h>

unsigned long ExceptionHandlerC::m_dwLastError = 0;

ExceptionHandlerC::ExceptionHandlerC()
    : CExceptionParse(0), m_pfnPreviousTranslator(nullptr), m_bInstalledTranslator(true) {
    // The translator logs through the manager; create it now, so that a fault
    // (perhaps inside the allocator) does not have to.
    UTL::LogManagementC::Instance();
    m_pfnPreviousTranslator = _set_se_translator(ExceptionTranslator);
}

ExceptionHandlerC::ExceptionHandlerC(EXCEPTION_POINTERS* pointers)
    : CExceptionParse(0), m_pfnPreviousTranslator(nullptr), m_bInstalledTranslator(false) {
    GenerateExceptionReport(pointers);
}

ExceptionHandlerC::ExceptionHandlerC(const ExceptionHandlerC& other)
    : CExceptionParse(other),
      m_pfnPreviousTranslator(other.m_pfnPreviousTranslator),
      m_bInstalledTranslator(false) {}

ExceptionHandlerC& ExceptionHandlerC::operator=(const ExceptionHandlerC& other) {
    m_pfnPreviousTranslator = other.m_pfnPreviousTranslator;
    return *this;
}

ExceptionHandlerC::~ExceptionHandlerC() {
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
    if (__atomic_load_n(&m_dwLastError, __ATOMIC_RELAXED) == address) return;
    __atomic_store_n(&m_dwLastError, address, __ATOMIC_RELAXED);
    // Report first, then throw a copy: the report is on disk before the
    // exception object takes heap memory.
    ExceptionHandlerC report(pointers);
    throw report;
}

void ExceptionHandlerC::GenerateExceptionReport(EXCEPTION_POINTERS* pointers) {
    if (!pointers || !pointers->ExceptionRecord || !pointers->ContextRecord) return;
    UTL::win::ReportLock lock;
    if (!lock.Held()) return;
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
        WriteFaultAddress(record->ExceptionAddress);
        WriteRegisters(pointers->ContextRecord);
        WriteCallStack(pointers->ContextRecord, __FILE__, __LINE__);
        WriteBlockEnd();
        CExceptionLog::CloseLogfile();
    } catch (...) {
        CExceptionLog::CloseLogfile();
    }
}

__attribute__((noinline)) void DoRaise(void* object, void* throwInfo) {
    const ULONG_PTR arguments[3] = {0x19930520, reinterpret_cast<ULONG_PTR>(object),
                                    reinterpret_cast<ULONG_PTR>(throwInfo)};
    // The exception's address is the caller's, so that raises from different
    // places are not taken for a repeated fault at one address.
    UTL::win::RaiseExceptionAt(__builtin_return_address(0), 0xE06D7363, EXCEPTION_NONCONTINUABLE, 3,
                               arguments);
}

void PreviewException(void*, void*, const std::type_info*) {}
