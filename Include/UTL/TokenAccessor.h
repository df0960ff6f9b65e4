/// @file
/// Display texts by token: the application supplies texts for pairs of numeric
/// keys through an accessor it installs in a static bridge.
#pragma once

#include <UTL/Export.h>

namespace UTL {

/// Supplies display texts. Derive from it and override getToken; the default
/// body supplies nothing. The bridge never deletes an accessor (and the class
/// has no virtual destructor), so the application owns it and keeps it alive
/// while it is installed.
class UTL_API TokenAccessorI {
public:
    TokenAccessorI() = default;
    TokenAccessorI(const TokenAccessorI&) = default;             ///< the class has no data
    TokenAccessorI& operator=(const TokenAccessorI&) = default;  ///< the class has no data

    /// The zero-terminated text for the two keys, or null when there is none.
    /// The text stays owned by the accessor; callers copy it at once. The
    /// default returns null.
    virtual const char16_t* getToken(unsigned long key1, unsigned long key2);
};

/// The one place library code asks for display texts (StringC::LoadTxt).
/// Not synchronised: install the accessor before other threads ask for texts
/// and leave it in place while they may.
class UTL_API TokenAccessorBridgeC {
public:
    /// Installs `accessor`, replacing any earlier one (which is not destroyed);
    /// null uninstalls.
    static void setTokenAccessor(TokenAccessorI* accessor);

    /// The installed accessor's text for the keys, passed on unchanged and in
    /// order; null when no accessor is installed or it has no text.
    static const char16_t* getToken(unsigned long key1, unsigned long key2);

    TokenAccessorBridgeC() = default;
    TokenAccessorBridgeC(const TokenAccessorBridgeC&) = default;  ///< no instance data
    /// Does nothing: the bridge has no instance data.
    TokenAccessorBridgeC& operator=(const TokenAccessorBridgeC&) { return *this; }

private:
    static TokenAccessorI* m_poTokenAccessor;
};

}  // namespace UTL
