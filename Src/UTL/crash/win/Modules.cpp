// Modules and paths: loaded objects as the dynamic loader reports them
// (dl_iterate_phdr, no heap), the executable's path, the temporary directory,
// and run-time loading.
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Seams.h"
#include "Services.h"

namespace {

// Copies `text` into `buffer` of `size` bytes when it fits (terminator
// included); returns its length, or 0 with an empty buffer when it does not.
DWORD CopyIfFits(const char* text, char* buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    const std::size_t length = std::strlen(text);
    if (length >= size) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}

std::uintptr_t PageDown(std::uintptr_t value) {
    return value & ~static_cast<std::uintptr_t>(4095);
}
std::uintptr_t PageUp(std::uintptr_t value) {
    return PageDown(value + 4095);
}

// One loaded object as dl_iterate_phdr reports it.
struct ObjectQuery {
    // in
    std::uintptr_t address;  // find the object covering this address, or
    std::uintptr_t base;     // find the object whose lowest mapped address is this
    bool byAddress;
    // out
    bool found;
    bool isMain;
    std::uintptr_t foundBase;
    const char* name;
    int index;
    std::uintptr_t bias;
    IMAGE_LOAD_SEGMENT* segments;  // when set, filled with the PT_LOAD headers
    int capacity;
    int count;
    char* buildId;  // when set, receives the build-id in hexadecimal
    DWORD buildIdSize;
    DWORD buildIdLength;
};

// Whether `size` bytes at p_vaddr `start` lie in a loaded segment's file
// contents, so that they are mapped and readable.
bool IsMapped(const dl_phdr_info* info, ElfW(Addr) start, std::size_t size) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && start >= segment.p_vaddr &&
            start - segment.p_vaddr <= segment.p_filesz &&
            size <= segment.p_filesz - (start - segment.p_vaddr))
            return true;
    }
    return false;
}

// The descriptor of the object's NT_GNU_BUILD_ID note, as hexadecimal text;
// its length, 0 when there is none or it does not fit.
DWORD FormatBuildId(const dl_phdr_info* info, char* text, DWORD size) {
    static const char kDigits[] = "0123456789abcdef";
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_NOTE || !IsMapped(info, segment.p_vaddr, segment.p_memsz))
            continue;
        const unsigned char* notes =
            reinterpret_cast<const unsigned char*>(info->dlpi_addr + segment.p_vaddr);
        // Notes are padded to 4 bytes, or to 8 in segments aligned so.
        const std::size_t align = segment.p_align == 8 ? 8 : 4;
        const auto padded = [align](std::size_t n) { return (n + align - 1) / align * align; };
        for (std::size_t at = 0; at + sizeof(ElfW(Nhdr)) <= segment.p_memsz;) {
            ElfW(Nhdr) note;
            std::memcpy(&note, notes + at, sizeof note);
            const std::size_t name = at + sizeof note;
            const std::size_t desc = name + padded(note.n_namesz);
            if (note.n_namesz > segment.p_memsz || note.n_descsz > segment.p_memsz ||
                desc + note.n_descsz > segment.p_memsz)
                break;
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
                std::memcmp(notes + name, "GNU", 4) == 0) {
                if (note.n_descsz == 0 || 2 * note.n_descsz >= size) break;
                for (std::size_t k = 0; k < note.n_descsz; ++k) {
                    text[2 * k] = kDigits[notes[desc + k] >> 4];
                    text[2 * k + 1] = kDigits[notes[desc + k] & 15];
                }
                text[2 * note.n_descsz] = '\0';
                return 2 * note.n_descsz;
            }
            at = desc + padded(note.n_descsz);
        }
    }
    return 0;
}

int VisitObject(dl_phdr_info* info, std::size_t, void* data) {
    ObjectQuery& query = *static_cast<ObjectQuery*>(data);
    const int index = query.index++;
    std::uintptr_t lowest = UINTPTR_MAX;
    bool covers = false;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD) continue;
        const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        if (PageDown(start) < lowest) lowest = PageDown(start);
        if (query.address >= PageDown(start) && query.address < PageUp(start + segment.p_memsz))
            covers = true;
    }
    if (lowest == UINTPTR_MAX) return 0;
    const bool match = query.byAddress ? covers : lowest == query.base;
    if (!match) return 0;
    query.found = true;
    query.isMain = index == 0;  // the loader reports the executable first
    query.foundBase = lowest;
    query.name = info->dlpi_name;
    query.bias = info->dlpi_addr;
    if (query.segments) {
        for (int i = 0; i < info->dlpi_phnum && query.count < query.capacity; ++i) {
            const ElfW(Phdr)& segment = info->dlpi_phdr[i];
            if (segment.p_type != PT_LOAD) continue;
            IMAGE_LOAD_SEGMENT& out = query.segments[query.count++];
            out.VirtualAddress = segment.p_vaddr;
            out.VirtualSize = segment.p_memsz;
            out.SizeOfRawData = segment.p_filesz;
        }
    }
    if (query.buildId) query.buildIdLength = FormatBuildId(info, query.buildId, query.buildIdSize);
    return 1;
}

// The loaded objects as one walk of the loader's list found them, for the
// thread that took the snapshot: a report asks about its call stack's frames
// several times each. Fixed size, no heap; the objects beyond its capacity
// are looked up by walking the list again.
struct LoadedObject {
    std::uintptr_t lowest;   // the lowest page of its PT_LOAD segments
    std::uintptr_t highest;  // the end of the highest page
    dl_phdr_info info;       // bias, name and program headers as reported
};
constexpr int kSnapshotCapacity = 256;
struct ObjectSnapshot {
    LoadedObject objects[kSnapshotCapacity];
    int count;
    bool complete;  // false when the list had more objects than fit
    bool taken;     // the walk is done (it is taken at the first query)
};
ObjectSnapshot g_snapshot;
thread_local bool t_snapshotActive = false;

int RecordObject(dl_phdr_info* info, std::size_t, void*) {
    if (g_snapshot.count == kSnapshotCapacity) {
        g_snapshot.complete = false;
        return 1;
    }
    LoadedObject& object = g_snapshot.objects[g_snapshot.count++];
    object.lowest = UINTPTR_MAX;
    object.highest = 0;
    object.info = {};
    object.info.dlpi_addr = info->dlpi_addr;
    object.info.dlpi_name = info->dlpi_name;
    object.info.dlpi_phdr = info->dlpi_phdr;
    object.info.dlpi_phnum = info->dlpi_phnum;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD) continue;
        const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        if (PageDown(start) < object.lowest) object.lowest = PageDown(start);
        if (PageUp(start + segment.p_memsz) > object.highest)
            object.highest = PageUp(start + segment.p_memsz);
    }
    return 0;
}

// Answers `query` as a walk of the loader's list would: from the snapshot
// while this thread holds one (its bounds only sift out objects that cannot
// match), by the walk otherwise or when the snapshot is incomplete and has
// no match.
void FindObject(ObjectQuery& query) {
    if (t_snapshotActive) {
        if (!g_snapshot.taken) {
            g_snapshot.count = 0;
            g_snapshot.complete = true;
            dl_iterate_phdr(RecordObject, nullptr);
            g_snapshot.taken = true;
        }
        for (int i = 0; i < g_snapshot.count; ++i) {
            LoadedObject& object = g_snapshot.objects[i];
            const bool candidate =
                query.byAddress ? query.address >= object.lowest && query.address < object.highest
                                : query.base == object.lowest;
            if (!candidate) continue;
            query.index = i;
            if (VisitObject(&object.info, sizeof object.info, &query)) return;
        }
        if (g_snapshot.complete) return;
        query.index = 0;
    }
    dl_iterate_phdr(VisitObject, &query);
}

// The executable's path, read once as the library is loaded: a report asks
// for it at each of its frames in the program. Empty until then, or when the
// link could not be read.
char g_executablePath[4096];
const bool g_executablePathRead = [] {
    const ssize_t length = readlink("/proc/self/exe", g_executablePath, sizeof g_executablePath);
    const bool read = length > 0 && static_cast<std::size_t>(length) < sizeof g_executablePath;
    g_executablePath[read ? length : 0] = '\0';
    return read;
}();

DWORD ExecutablePath(char* buffer, DWORD size) {
    if (const char* path = UTL::win::seams::ExecutablePathOverride())
        return CopyIfFits(path, buffer, size);
    if (g_executablePathRead) return CopyIfFits(g_executablePath, buffer, size);
    if (!buffer || size == 0) return 0;
    const ssize_t length = readlink("/proc/self/exe", buffer, size);
    if (length <= 0 || static_cast<DWORD>(length) >= size) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

}  // namespace

void BeginModuleSnapshot() {
    g_snapshot.taken = false;
    t_snapshotActive = true;
}

void EndModuleSnapshot() {
    t_snapshotActive = false;
}

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
    if (!module) return ExecutablePath(buffer, size);
    ObjectQuery query = {};
    query.base = reinterpret_cast<std::uintptr_t>(module);
    FindObject(query);
    if (!query.found) {
        if (buffer && size) buffer[0] = '\0';
        return 0;
    }
    if (query.isMain || !query.name || !query.name[0]) return ExecutablePath(buffer, size);
    return CopyIfFits(query.name, buffer, size);
}

std::size_t VirtualQuery(const void* address, MEMORY_BASIC_INFORMATION* info, std::size_t size) {
    if (!info || size < sizeof *info) return 0;
    ObjectQuery query = {};
    query.address = reinterpret_cast<std::uintptr_t>(address);
    query.byAddress = true;
    FindObject(query);
    if (!query.found) return 0;
    info->BaseAddress = reinterpret_cast<PVOID>(PageDown(query.address));
    info->AllocationBase = reinterpret_cast<PVOID>(query.foundBase);
    info->RegionSize = 4096;
    return sizeof *info;
}

int GetModuleImageSegments(HMODULE module, DWORD64* loadBias, IMAGE_LOAD_SEGMENT* segments,
                           int capacity) {
    ObjectQuery query = {};
    query.base = reinterpret_cast<std::uintptr_t>(module);
    query.segments = segments;
    query.capacity = segments ? capacity : 0;
    FindObject(query);
    if (!query.found) return 0;
    if (loadBias) *loadBias = query.bias;
    return query.count;
}

DWORD GetModuleBuildId(HMODULE module, char* text, DWORD size) {
    if (!text || size == 0) return 0;
    text[0] = '\0';
    ObjectQuery query = {};
    query.base = reinterpret_cast<std::uintptr_t>(module);
    query.buildId = text;
    query.buildIdSize = size;
    FindObject(query);
    return query.found ? query.buildIdLength : 0;
}

DWORD GetTempPathA(DWORD size, char* buffer) {
    if (!buffer || size == 0) return 0;
    const char* dir = std::getenv("TMPDIR");
    if (dir && dir[0]) {
        const std::size_t length = std::strlen(dir);
        const bool slash = dir[length - 1] == '/';
        if (length + (slash ? 0 : 1) < size) {
            std::memcpy(buffer, dir, length);
            if (!slash) buffer[length] = '/';
            buffer[length + (slash ? 0 : 1)] = '\0';
            return static_cast<DWORD>(length + (slash ? 0 : 1));
        }
    }
    return CopyIfFits("/tmp/", buffer, size);
}

HMODULE LoadLibraryA(const char* name) {
    if (!name) return nullptr;
    if (strcasecmp(name, "DbgHelp.dll") != 0) return dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (const char* path = UTL::win::seams::DebugHelpLibraryOverride())
        return dlopen(path, RTLD_NOW | RTLD_LOCAL);
    static const char kLibrary[] = "libutldbghelp.so.1";
    Dl_info self;
    if (dladdr(reinterpret_cast<void*>(&LoadLibraryA), &self) && self.dli_fname) {
        char path[4096];
        const char* slash = std::strrchr(self.dli_fname, '/');
        if (slash) {
            const int length =
                std::snprintf(path, sizeof path, "%.*s/%s",
                              static_cast<int>(slash - self.dli_fname), self.dli_fname, kLibrary);
            if (length > 0 && static_cast<std::size_t>(length) < sizeof path) {
                if (HMODULE module = dlopen(path, RTLD_NOW | RTLD_LOCAL)) return module;
            }
        }
    }
    return dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
}

void* GetProcAddress(HMODULE module, const char* name) {
    if (!module || !name) return nullptr;
    return dlsym(module, name);
}
