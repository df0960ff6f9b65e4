// Display texts by token.
#include <UTL/TokenAccessor.h>

namespace UTL {

const char16_t* TokenAccessorI::getToken(unsigned long, unsigned long) {
    return nullptr;
}

// Constant-initialised: null before any code of the library runs.
TokenAccessorI* TokenAccessorBridgeC::m_poTokenAccessor = nullptr;

void TokenAccessorBridgeC::setTokenAccessor(TokenAccessorI* accessor) {
    m_poTokenAccessor = accessor;
}

const char16_t* TokenAccessorBridgeC::getToken(unsigned long key1, unsigned long key2) {
    TokenAccessorI* accessor = m_poTokenAccessor;
    return accessor ? accessor->getToken(key1, key2) : nullptr;
}

}  // namespace UTL
