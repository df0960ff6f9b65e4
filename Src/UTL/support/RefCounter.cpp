// Intrusive reference counter with 32-bit wrapping arithmetic.
#include <UTL/RefCounter.h>

namespace UTL {

namespace {

// Adds `delta` to a 32-bit signed count modulo 2^32. The sum is taken in
// unsigned arithmetic (defined wrap) and mapped back to the signed range
// without an implementation-defined conversion.
std::int32_t Wrap32(std::int32_t count, std::uint32_t delta) {
    const std::uint32_t sum = static_cast<std::uint32_t>(count) + delta;
    if (sum <= 0x7FFFFFFFu) return static_cast<std::int32_t>(sum);
    return -static_cast<std::int32_t>(~sum) - 1;
}

}  // namespace

RefCounterC::RefCounterC() : m_refCount(0) {}

RefCounterC::~RefCounterC() = default;

RefCounterC::RefCounterC(const RefCounterC& other) : m_refCount(0) {
    *this = other;
}

RefCounterC& RefCounterC::operator=(const RefCounterC& other) {
    if (this != &other) m_refCount = other.m_refCount;
    return *this;
}

long RefCounterC::IncrementRefCount() {
    m_refCount = Wrap32(m_refCount, 1u);
    return m_refCount;
}

long RefCounterC::DecrementRefCount() {
    if (m_refCount == 0) return 0;
    m_refCount = Wrap32(m_refCount, 0xFFFFFFFFu);  // minus 1
    if (m_refCount != 0) return m_refCount;
    delete this;
    return 0;
}

}  // namespace UTL
