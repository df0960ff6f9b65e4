// Memory whose last page is followed by an inaccessible page, so that a read
// or write one byte past the end faults. Tests place texts there that end
// exactly at the page end.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <string_view>

class GuardedPage {
public:
    GuardedPage() : m_page(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
        void* memory =
            mmap(nullptr, 2 * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) return;
        m_base = static_cast<char*>(memory);
        if (mprotect(m_base + m_page, m_page, PROT_NONE) != 0) {
            munmap(m_base, 2 * m_page);
            m_base = nullptr;
        }
    }
    ~GuardedPage() {
        if (m_base != nullptr) munmap(m_base, 2 * m_page);
    }
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;

    bool Ready() const { return m_base != nullptr; }
    // Room for `units` code units, the last of them the last unit of the page.
    char16_t* UnitsAtEnd(std::size_t units) {
        return reinterpret_cast<char16_t*>(m_base + m_page) - units;
    }
    // A copy of `text` whose terminator is the last unit of the page.
    char16_t* TextAtEnd(std::u16string_view text) {
        char16_t* at = UnitsAtEnd(text.size() + 1);
        text.copy(at, text.size());
        at[text.size()] = 0;
        return at;
    }

private:
    std::size_t m_page;
    char* m_base = nullptr;
};
