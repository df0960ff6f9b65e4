/// @file
/// Symbol visibility of the UTL libraries: they are built with everything
/// hidden, and the interface is marked UTL_API.
#pragma once

/// Marks a declaration as part of the libraries' interface.
#define UTL_API __attribute__((visibility("default")))
