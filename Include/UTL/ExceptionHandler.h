/// @file
/// Hardware faults as C++ exceptions: a guard object installs the calling
/// thread's translator, which writes the exception report and throws an
/// ExceptionHandlerC that the application catches.
#pragma once

#include <typeinfo>

#include <UTL/ExceptionParse.h>
#include <UTL/Export.h>
#include <UTL/WinServices.h>

/// Usage: a thread that wants crash reports creates a guard on entry and keeps
/// it for its lifetime; code that must survive a fault catches ExceptionHandlerC
/// (or CExceptionParse). On Linux a fault is a signal (SIGSEGV, SIGBUS, SIGFPE,
/// SIGILL, SIGTRAP); the guard also gives the thread an alternate signal stack,
/// so stack overflows are caught too. Faulting code must be compiled by g++ with
/// -fnon-call-exceptions (a usage requirement of UTL::utl) for its catch to see
/// the exception.
///
/// A fault at the same instruction address as the last translated one (any
/// thread) is not translated again: the process dies by the signal. So does a
/// fault inside the C library's allocator (its lock would stay held), after its
/// report. So does a fault signal that was sent (kill, raise, pthread_kill,
/// sigqueue) rather than raised by a faulting instruction: it is never thrown;
/// its report names it and its sender. Before such a death the file sinks are
/// flushed.
class UTL_API ExceptionHandlerC : public CExceptionParse {
public:
    /// Guard: captures the thread's context and installs the translator,
    /// keeping the one it replaces. Creates the log manager if there is none.
    ExceptionHandlerC();
    /// Report object: writes one exception block for `pointers` (only the
    /// unwinding note when the record has EXCEPTION_UNWINDING). Installs
    /// nothing; its destruction leaves the thread's translator alone.
    explicit ExceptionHandlerC(EXCEPTION_POINTERS* pointers);
    /// Copies carry the saved translator along but never re-install it: only
    /// the guard that installed the translator restores the previous one.
    ExceptionHandlerC(const ExceptionHandlerC& other);
    /// As the copy constructor: the saved translator is carried, not installed.
    ExceptionHandlerC& operator=(const ExceptionHandlerC& other);
    /// A guard re-installs the translator that was in force before it.
    ~ExceptionHandlerC() override;

    /// Nonzero: abort(), std::terminate and failed assertions on a guarded
    /// thread write an exception block (code 40000015 FATAL_APP_EXIT), and
    /// every abort flushes the file sinks, before the process dies by SIGABRT
    /// as before. 0 (the default): SIGABRT is left to the application.
    static void ReportAborts(int on);

    /// The translated fault's exception code, as in its exception record
    /// (copies carry it along); 0 on a guard.
    DWORD GetExceptionCode() const;
    /// The translated fault's faulting instruction address, as in its
    /// exception record (copies carry it along); null on a guard.
    void* GetExceptionAddress() const;

private:
    static void ExceptionTranslator(unsigned int code, EXCEPTION_POINTERS* pointers);
    static void GenerateExceptionReport(EXCEPTION_POINTERS* pointers);

    _se_translator_function m_pfnPreviousTranslator;
    bool m_bInstalledTranslator;
    DWORD m_dwExceptionCode;
    void* m_pExceptionAddress;
    static unsigned long m_dwLastError;  ///< address of the last translated fault
};

/// Raises the software exception 0xE06D7363 (non-continuable, arguments
/// 0x19930520, `object`, `throwInfo`) to the calling thread's translator; a
/// guarded thread gets it as an ExceptionHandlerC. Without a translator that
/// throws, the process ends (std::terminate).
UTL_API void DoRaise(void* object, void* throwInfo);

/// A hook without effect; accepts any pointers, a null type included.
UTL_API void PreviewException(void* object, void* throwInfo, const std::type_info* type);
