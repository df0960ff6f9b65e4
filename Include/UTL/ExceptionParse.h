/// @file
/// Thread context capture, stack walks and symbol lookup for the exception
/// report.
#pragma once

#include <UTL/ExceptionLog.h>
#include <UTL/Export.h>
#include <UTL/WinServices.h>

/// Everything is static and process-wide (settings unsynchronised: set them up
/// before other threads run), except the captured context, which each thread
/// keeps for itself. The report path takes no heap memory when it
/// walks frame pointers (the default); the symbol walk goes through the
/// debugging-help library, loaded at run time.
class UTL_API CExceptionParse {
public:
    /// Captures the control registers of the calling function, where the
    /// constructor returns to: its instruction, stack and frame pointers (with
    /// CS, SS and the flags on x86; the other registers stay 0). A nonzero
    /// argument writes a report of them at once ("Exception code: UNKNOWN"),
    /// whose fault address, instruction pointer and first frame are that point
    /// of the caller.
    explicit CExceptionParse(int generateReport = 0);
    /// Copies nothing: the captured context belongs to the thread.
    CExceptionParse(const CExceptionParse& other);
    /// Changes nothing: the captured context belongs to the thread.
    CExceptionParse& operator=(const CExceptionParse& other);
    virtual ~CExceptionParse();

    /// Frame limit of both walks: they write at most limit + 1 frames (default 40).
    static void SetMaxStackTrace(unsigned int limit);
    /// Search path for the symbol handler; "" means none. Null, or a text of
    /// 2048 bytes or more (terminator included), is refused: the path stays.
    static void SetSymbolPath(const char* path);
    /// Symbol search switch (default 0: frame-pointer walk).
    static void EnableSymbolSearch(int enable);
    /// The symbol search switch as set.
    static int EnableSymbolSearch();

    /// Source line of a code address (searching up to 999 bytes below it), or
    /// else the name of the symbol covering it, copied into line->FileName when
    /// that is not null (at most 512 characters plus terminator: the buffer must
    /// hold 513 bytes) with LineNumber 0. `section` and `offset` receive the
    /// address's load segment (1-based) and offset, or 0. Returns 1 on
    /// success; 0 when the debugging-help library is unusable (section and
    /// offset untouched), when nothing is found, or when `line` is null.
    static int GetLineAndFileFromPointer(unsigned long address, IMAGEHLP_LINE* line,
                                         unsigned long& section, unsigned long& offset);

protected:
    static CExceptionLog m_logException;  ///< the library's report writer

    static void GenerateExceptionReport();                  ///< of the captured context
    static void GenerateExceptionReport(CONTEXT* context);  ///< one block, bare context

    /// Path of the object (executable or shared object) that holds `address`,
    /// into `module` of `length` bytes, and the 1-based index of its PT_LOAD
    /// segment that covers the address (start to start + max(file size,
    /// memory size), both ends included) with the offset from the segment's
    /// start. Returns 1; 0 when no object holds it (path not written), or when
    /// no segment covers it (path written, section and offset untouched).
    static int GetLogicalAddress(void* address, char* module, unsigned long length,
                                 unsigned long& section, unsigned long& offset);
    static void ImagehlpStackWalk(CONTEXT* context);  ///< call stack, symbol form
    static void IntelStackWalk(CONTEXT* context);     ///< call stack, frame-pointer form
    /// Loads the debugging-help library, looks up its nine entry points and
    /// initialises its symbol handler. 1 on success, else 0.
    static int InitImagehlpFunctions();
    /// Line of `address`, else of the first of the 999 addresses below it that
    /// has one (displacement = the bytes stepped back). 1 on success, else 0.
    static int InternalSymGetLineFromAddr(unsigned long address, unsigned long* displacement,
                                          IMAGEHLP_LINE* line);

    ///@{
    /// Pieces of an exception block shared with the translator's report.
    static void WriteBlockStart();
    static void WriteFaultAddress(void* address);
    static void WriteRegisters(const CONTEXT* context);
    static void WriteCallStack(CONTEXT* context, const char* file, int line);
    static void WriteBlockEnd();
    ///@}

    ///@{
    /// An entry point of the debugging-help library (null until loaded).
    static PFN_SymInitialize _SymInitialize;
    static PFN_SymCleanup _SymCleanup;
    static PFN_StackWalk _StackWalk;
    static PFN_SymFunctionTableAccess _SymFunctionTableAccess;
    static PFN_SymGetModuleBase _SymGetModuleBase;
    static PFN_SymGetSymFromAddr _SymGetSymFromAddr;
    static PFN_SymGetLineFromAddr _SymGetLineFromAddr;
    static PFN_SymGetOptions _SymGetOptions;
    static PFN_SymSetOptions _SymSetOptions;
    ///@}

private:
    friend class ExceptionHandlerC;

    static int m_bEnableSymbols;
    static char m_szSymbolPath[2048];
    static unsigned int m_nMaxTrace;
    static HANDLE m_hProcessHandle;
};
