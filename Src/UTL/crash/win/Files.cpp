// Files and report text: the report file's handle operations over file
// descriptors, and the formatter of report lines.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <UTL/detail/DirectiveDialects.h>

#include "OwnFile.h"
#include "Seams.h"
#include "Services.h"

namespace {

// Descriptors opened with FILE_FLAG_WRITE_THROUGH, flushed on close.
constexpr int kTrackedDescriptors = 4096;
std::atomic<unsigned char> g_writeThrough[kTrackedDescriptors];

int DescriptorOf(HANDLE handle) {
    const std::intptr_t value = reinterpret_cast<std::intptr_t>(handle);
    if (value < 0 || value > 0x7FFFFFFF) return -1;
    return static_cast<int>(value);
}

// The creation flags and the truncation of a disposition; false for an
// unknown one.
bool Disposition(DWORD disposition, int& createFlags, bool& truncate) {
    createFlags = 0;
    truncate = false;
    switch (disposition) {
        case 1:  // CREATE_NEW
            createFlags = O_CREAT | O_EXCL;
            return true;
        case 2:  // CREATE_ALWAYS
            createFlags = O_CREAT;
            truncate = true;
            return true;
        case 3:  // OPEN_EXISTING
            return true;
        case 4:  // OPEN_ALWAYS
            createFlags = O_CREAT;
            return true;
        case 5:  // TRUNCATE_EXISTING
            truncate = true;
            return true;
        default:
            return false;
    }
}

// Copies `format` with the "h" of "%hs" (a narrow string in the window
// system's formatter) dropped, so that the C library sees a plain "%s".
// Returns false, leaving `out` unusable, when the format does not fit.
bool NarrowStringFormat(const char* format, char* out, std::size_t size) {
    std::size_t used = 0;
    const auto copy = [&](const char* from, std::size_t n) {
        if (used + n >= size) return false;
        std::memcpy(out + used, from, n);
        used += n;
        return true;
    };
    for (const char* p = format; *p;) {
        if (*p != '%') {
            if (!copy(p++, 1)) return false;
            continue;
        }
        UTL::detail::Directive d;
        UTL::detail::ReadDirective(p, UTL::detail::kWindowSyntax, d);
        if (!copy(p, d.sizesAt)) return false;  // "%", flags, width and precision
        p += d.sizesAt;
        if (d.size == 'h' && d.conv == 's') {
            ++p;  // drop the 'h'
        } else if (d.size == 0 && d.conv == '%') {
            if (!copy(p++, 1)) return false;
        }
    }
    out[used] = '\0';
    return true;
}

}  // namespace

HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, void*, DWORD disposition,
                   DWORD flags, HANDLE) {
    int createFlags;
    bool truncate;
    if (!name || !name[0] || !(access & GENERIC_WRITE) ||
        !Disposition(disposition, createFlags, truncate))
        return INVALID_HANDLE_VALUE;
    const int fd = UTL::detail::OpenOwnFile(name, createFlags, 0600, truncate);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    if (shareMode == 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    if (fd < kTrackedDescriptors)
        g_writeThrough[fd].store((flags & FILE_FLAG_WRITE_THROUGH) ? 1 : 0);
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
    struct stat status;
    const int fd = DescriptorOf(file);
    if (fd < 0 || fstat(fd, &status) != 0) return INVALID_FILE_SIZE;
    const std::uint64_t size = static_cast<std::uint64_t>(status.st_size);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE file, long distance, long* distanceHigh, DWORD method) {
    const int fd = DescriptorOf(file);
    if (fd < 0 || method > FILE_END) return 0xFFFFFFFFu;
    off_t offset = static_cast<std::int32_t>(distance);
    if (distanceHigh) {
        offset = static_cast<off_t>((static_cast<std::uint64_t>(*distanceHigh) << 32) |
                                    static_cast<std::uint32_t>(distance));
    }
    const int whence = method == FILE_BEGIN     ? SEEK_SET
                       : method == FILE_CURRENT ? SEEK_CUR
                                                : SEEK_END;
    const off_t position = lseek(fd, offset, whence);
    if (position < 0) return 0xFFFFFFFFu;
    if (distanceHigh) *distanceHigh = static_cast<long>(static_cast<std::uint64_t>(position) >> 32);
    return static_cast<DWORD>(position);
}

BOOL SetEndOfFile(HANDLE file) {
    const int fd = DescriptorOf(file);
    if (fd < 0) return 0;
    const off_t position = lseek(fd, 0, SEEK_CUR);
    return position >= 0 && ftruncate(fd, position) == 0;
}

BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void*) {
    if (written) *written = 0;
    const int fd = DescriptorOf(file);
    if (fd < 0 || (!data && size)) return 0;
    if (const UTL::win::seams::WriteObserver observe = UTL::win::seams::WriteFileObserver())
        observe(size);
    const char* bytes = static_cast<const char*>(data);
    DWORD total = 0;
    while (total < size) {
        const ssize_t done = write(fd, bytes + total, size - total);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) break;
        total += static_cast<DWORD>(done);
    }
    if (written) *written = total;
    return total == size;
}

BOOL CloseHandle(HANDLE handle) {
    if (UTL::win::IsProcessPseudoHandle(handle)) return 1;
    const int fd = DescriptorOf(handle);
    if (fd < 0) return 0;
    if (fd < kTrackedDescriptors && g_writeThrough[fd].exchange(0)) fdatasync(fd);
    return close(fd) == 0;
}

int wvsprintfA(char* buffer, const char* format, va_list args) {
    if (!buffer) return 0;
    if (!format) {
        buffer[0] = '\0';
        return 0;
    }
    char plain[WVSPRINTF_BUFFER_SIZE];
    if (std::strstr(format, "hs") && NarrowStringFormat(format, plain, sizeof plain))
        format = plain;
    const int length = std::vsnprintf(buffer, WVSPRINTF_BUFFER_SIZE, format, args);
    if (length < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return length < WVSPRINTF_BUFFER_SIZE ? length : WVSPRINTF_BUFFER_SIZE - 1;
}
