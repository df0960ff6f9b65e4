// Heap use of the debugging-help library on a warm symbol path: once a session
// has been opened and the modules' tables read, opening and closing sessions
// and looking up lines and module bases take no heap, so a later crash report
// does not depend on the allocator. This program counts every malloc.
#include <UTL/WideText.h>
#include <UTL/WinServices.h>

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define COUNT_ALLOCATIONS 0  // the sanitizers own malloc
#else
#define COUNT_ALLOCATIONS 1
#endif

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

#if COUNT_ALLOCATIONS
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);

// Interposed for the whole process, libdw included.
void* malloc(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
}
#endif

namespace {

TEST(DbgHelpHeap, WarmSessionsAndLineLookupsTakeNoHeap) {
#if !COUNT_ALLOCATIONS
    GTEST_SKIP() << "allocation counting is off under the sanitizers";
#endif
    Dl_info info{};
    ASSERT_TRUE(dladdr(reinterpret_cast<const void*>(&lwcslen), &info));
    std::string path = info.dli_fname;
    path = path.substr(0, path.rfind('/') + 1) + "libutldbghelp.so.1";
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    auto init = reinterpret_cast<PFN_SymInitialize>(dlsym(h, "SymInitialize"));
    auto cleanup = reinterpret_cast<PFN_SymCleanup>(dlsym(h, "SymCleanup"));
    auto line = reinterpret_cast<PFN_SymGetLineFromAddr>(dlsym(h, "SymGetLineFromAddr"));
    auto base = reinterpret_cast<PFN_SymGetModuleBase>(dlsym(h, "SymGetModuleBase"));
    ASSERT_TRUE(init && cleanup && line && base);
    const long cold = g_allocations.load();
    if (!init(nullptr, nullptr, 1)) GTEST_SKIP() << "libdw.so.1 is not available";

    // Warm up: the first lookups read the tables of the modules involved.
    const DWORD64 here = reinterpret_cast<DWORD64>(__builtin_return_address(0));
    const DWORD64 utl = reinterpret_cast<DWORD64>(&lwcslen);
    char file[260];
    IMAGEHLP_LINE record{};
    record.FileName = file;
    line(nullptr, here, nullptr, &record);
    line(nullptr, utl, nullptr, &record);
    ASSERT_TRUE(cleanup(nullptr));
    EXPECT_GT(g_allocations.load() - cold, 0);  // the counting works: the cold session allocates

    const long before = g_allocations.load();
    for (int round = 0; round < 10; ++round) {
        ASSERT_TRUE(init(nullptr, nullptr, 1));
        EXPECT_NE(base(nullptr, utl), 0u);
        for (DWORD64 back = 0; back < 64; ++back) {
            line(nullptr, here - back, nullptr, &record);
            line(nullptr, utl + back, nullptr, &record);
        }
        ASSERT_TRUE(cleanup(nullptr));
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
}

}  // namespace
