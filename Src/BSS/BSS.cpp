// Common services on Linux: recursive timed mutex, stat-based file lookup and
// a settable directory standing in for the memory card.
#include <UTL/BSS.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>

namespace BSS {
namespace TSK {

LockC::~LockC() = default;

struct MutexC::Impl {
    std::recursive_timed_mutex mutex;
};

MutexC::MutexC() : m_impl(new Impl) {}

MutexC::~MutexC() {
    delete m_impl;
}

bool MutexC::Acquire(long timeout) {
    // A deadline on the system clock: pthread_mutex_timedlock, which
    // ThreadSanitizer follows (not so the steady clock's pthread_mutex_clocklock).
    if (timeout >= 0)
        return m_impl->mutex.try_lock_until(std::chrono::system_clock::now() +
                                            std::chrono::milliseconds(timeout));
    m_impl->mutex.lock();
    return true;
}

void MutexC::Release() {
    m_impl->mutex.unlock();
}

GuardC::GuardC(LockC& lock, long timeout) : m_lock(lock), m_locked(lock.Acquire(timeout)) {}

GuardC::~GuardC() {
    if (m_locked) m_lock.Release();
}

}  // namespace TSK

namespace TIM {

YmdhmsC::YmdhmsC() : year(0), month(0), day(0), hour(0), minute(0), second(0) {}

YmdhmsC::YmdhmsC(int y, int mo, int d, int h, int mi, int s)
    : year(y), month(mo), day(d), hour(h), minute(mi), second(s) {}

}  // namespace TIM

namespace HAL {

namespace {

char g_cardPath[256];  // empty: the current working directory

BSS::TIM::YmdhmsC ToYmdhms(time_t t) {
    struct tm tmv;
    if (!localtime_r(&t, &tmv)) return {};
    return {tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec};
}

// The search handle of a finished lookup: nothing is kept open, so any
// non-null token will do.
char g_searchToken;

}  // namespace

long PathMapC::findFirstFile(const char* path, void*& handle, FILEINFO* info) {
    handle = nullptr;
    struct stat st;
    if (!path || !*path || stat(path, &st) != 0) return -1;
    handle = &g_searchToken;
    if (info) {
        const char* slash = std::strrchr(path, '/');
        std::strncpy(info->name, slash ? slash + 1 : path, sizeof info->name - 1);
        info->name[sizeof info->name - 1] = '\0';
        info->size = static_cast<unsigned long>(st.st_size);
        info->attributes = static_cast<unsigned long>(st.st_mode);
        info->created = ToYmdhms(st.st_ctime);
        info->modified = ToYmdhms(st.st_mtime);
    }
    return 0;
}

long PathMapC::findClose(void*& handle) {
    handle = nullptr;
    return 0;
}

char* PathMapC::getCFCardPath() {
    if (g_cardPath[0]) return g_cardPath;
    // Per thread, so that concurrent callers never see a half-written path.
    thread_local char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) std::strcpy(cwd, ".");
    return cwd;
}

void PathMapC::setCFCardPath(const char* path) {
    if (!path) path = "";
    std::strncpy(g_cardPath, path, sizeof g_cardPath - 1);
    g_cardPath[sizeof g_cardPath - 1] = '\0';
}

}  // namespace HAL
}  // namespace BSS
