// Symbol visibility of the UTL libraries: everything is hidden unless marked.
#pragma once

#if defined(_WIN32)
#if defined(UTL_BUILDING)
#define UTL_API __declspec(dllexport)
#else
#define UTL_API __declspec(dllimport)
#endif
#else
#define UTL_API __attribute__((visibility("default")))
#endif
