/// @file
/// Which operating system the process runs on, reduced to the releases that
/// the report banner names.
#pragma once

#include <UTL/Export.h>
#include <UTL/WinServices.h>

/// Queries the version record once, at construction, and classifies it by
/// platform id, major and minor version. On Linux the record carries a
/// platform id of its own (VER_PLATFORM_UTL_LINUX), so it classifies as
/// eUnknownOS, and its szCSDVersion holds the kernel name and release
/// ("Linux 6.1.0-18-amd64").
class UTL_API CTq32SystemVersionInfo {
public:
    /// The releases the banner names; eUnknownOS for anything else (Linux).
    enum eOperatingSystem {
        eUnknownOS = 0,
        eWin32S = 1,
        eWin95 = 2,
        eWin98 = 3,
        eWinME = 4,
        eNT35 = 5,
        eNT40 = 6,
        eWin2000 = 7,
        eWinXP = 8
    };

    /// Queries (extended record first, then the basic one) and classifies.
    /// When both queries fail the object is eUnknownOS with a zeroed record.
    CTq32SystemVersionInfo();
    /// Copies the record and its classification.
    CTq32SystemVersionInfo(const CTq32SystemVersionInfo& other);
    /// Copies the record and its classification.
    CTq32SystemVersionInfo& operator=(const CTq32SystemVersionInfo& other);
    virtual ~CTq32SystemVersionInfo();

    /// The classification made at construction.
    eOperatingSystem GetOperatingSystem();

    ///@{
    /// 1 when the classification is the named release, else 0.
    int IsUnknownOS();
    int IsWin32S();
    int IsWin95();
    int IsWin98();
    int IsWinME();
    int IsNT35();
    int IsNT40();
    int IsWin2000();
    int IsWinXP();
    ///@}
    /// 1 when the record's platform id is VER_PLATFORM_WIN32_NT (reads the
    /// record, not the classification).
    int IsWinNTPlatform();

protected:
    OSVERSIONINFOEXA m_osVersionInfo;     ///< the record as queried (zeroed on failure)
    BOOL m_bOsVersionInfoEx;              ///< nonzero when the extended query succeeded
    eOperatingSystem m_eOperatingSystem;  ///< the classification
};
