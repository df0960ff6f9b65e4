// The report banner's view of the operating-system identification.
#pragma once

#include <UTL/SystemVersion.h>

// Reads the version record's service-pack text for the banner; built on the
// stack each time a banner is written.
class CExceptionSystemInfo : public CTq32SystemVersionInfo {
public:
    CExceptionSystemInfo() = default;
    ~CExceptionSystemInfo() override;

private:
    friend class CExceptionLog;
};

// Display name of a classification as the report banner prints it; "Unknown"
// for values outside the enumeration.
const char* OperatingSystemDisplayName(int os);
