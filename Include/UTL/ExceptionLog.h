/// @file
/// The exception report file: name, exclusive open, banner, report lines and
/// exception code names.
#pragma once

#include <ctime>

#include <UTL/Export.h>
#include <UTL/WinServices.h>

/// All state is process-wide and unsynchronised; set it up before other
/// threads run. The library's one instance (CExceptionParse::m_logException)
/// fixes the default file name and the start time at load.
///
/// The file: one banner per process run at the first successful open, then
/// exception blocks. Lines end in `"\n"` only; hexadecimal digits are upper case.
class UTL_API CExceptionLog {
public:
    /// When no name is set: the default name, `<temporary directory><executable
    /// name>` with its extension of 3 or more characters replaced by "RPT" (a
    /// shorter one is kept, none gets ".RPT" appended), and the start time.
    /// The temporary directory is $TMPDIR (plus "/") or /tmp/. When the path of
    /// the executable cannot be read, or the composed name does not fit 259
    /// characters, the name is `<temporary directory>Exception.RPT`.
    CExceptionLog();
    /// Copies nothing: all state is process-wide.
    CExceptionLog(const CExceptionLog& other);
    /// Changes nothing: all state is process-wide.
    CExceptionLog& operator=(const CExceptionLog& other);
    virtual ~CExceptionLog();  ///< does not close the file

    /// Sets the report file's path. A null path, or one of 260 bytes or more
    /// (terminator included), is refused: the name stays as it was.
    static void SetLogfileName(const char* path);
    /// The report file's path (never null).
    static const char* GetLogfileName();
    /// Nonzero: the first open of a run keeps earlier content up to the size
    /// limit (bytes, default 131072); a larger file is emptied.
    static void AppendToLogfile(int append);
    /// The size limit for AppendToLogfile, in bytes.
    static void SetMaxLogfileSize(unsigned int bytes);
    /// Module identity (default 0: off, every version field reads "not
    /// available"). Nonzero: the version field of each call-stack line shows
    /// "build-id <lower-case hex>" for a module that carries a GNU build-id,
    /// "not available" for one without. utl-symbolize matches debug files by it.
    static void EnableBuildIds(int enable);
    /// The build-id switch as set.
    static int EnableBuildIds();

    /// Opens the file exclusively (a second open, in this process or another,
    /// fails) and returns its handle, INVALID_HANDLE_VALUE on failure. The first
    /// successful open of a run empties or keeps the content and writes the
    /// banner. When the file is already open, returns that handle unchanged.
    /// The argument has no effect.
    static void* OpenLogfile(int unused);
    /// Closes the file (flushing it to the disk); does nothing when closed.
    static void CloseLogfile();
    /// 1 while the file is open, else 0.
    static int IsOpen();

    /// Formats (vsnprintf conventions, "%hs" = narrow string), cutting at 1023
    /// characters, and writes exactly that text: gathered with the text
    /// written before, it reaches the file when the file is closed or when
    /// the gathered text would not leave room for another line. On a closed
    /// file it opens the file around this one write. Returns the number of
    /// characters formatted, also when the file could not be opened.
    static int WriteLogfile(const char* format, ...);

    /// Name of an exception code ("ACCESS_VIOLATION", ...; constant text, not
    /// to be written). Codes outside the table give "Unknown exception
    /// 0x`<code>`" in a 512-byte buffer that the next such call overwrites.
    static char* GetExceptionString(unsigned long code);

private:
    static char m_szLogfileName[260];
    static void* m_hReportFile;
    static unsigned int m_nMaxSize;
    static int m_bAppendToLogfile;
    static int m_bAppStarted;
    static int m_bBuildIds;
    static std::tm m_tmLocalTime;

    static void WriteBanner();
};
