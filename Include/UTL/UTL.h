/// @file
/// The whole UTL library.
#pragma once

#include <UTL/BSS.h>
#include <UTL/Library.h>
#include <UTL/Version.h>

// Wide and narrow text
#include <UTL/CheckedFormat.h>
#include <UTL/NarrowString.h>
#include <UTL/StringC.h>
#include <UTL/TokenAccessor.h>
#include <UTL/WideText.h>

// Numerics and units
#include <UTL/Angles.h>
#include <UTL/CTT.h>
#include <UTL/Mjd.h>
#include <UTL/Units.h>

// Logging
#include <UTL/FileLog.h>
#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>

// Application support
#include <UTL/APILock.h>
#include <UTL/Command.h>
#include <UTL/RefCounter.h>

// Crash reporting
#include <UTL/ExceptionHandler.h>
#include <UTL/ExceptionLog.h>
#include <UTL/ExceptionParse.h>
#include <UTL/SystemVersion.h>
#include <UTL/WinServices.h>
