// Narrow-string helpers: in-place replacement and trimming, the file test
// through the common services, and the splitting of backslash paths.
#include <UTL/NarrowString.h>

#include <UTL/BSS.h>

#include <cstring>

namespace UTL {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

void CopyOut(char* out, const char* from) {
    if (out) std::strcpy(out, from);
}

void Clear(char* out) {
    if (out) *out = '\0';
}

}  // namespace

int ReplaceChars(char* s, char from, char to) {
    if (!s || from == '\0') return 0;
    for (; *s; ++s) {
        if (*s == from) *s = to;
    }
    return 0;
}

int LTrim(char* s) {
    if (!s || !*s) return 0;
    std::size_t k = 0;
    while (IsBlank(s[k])) ++k;
    if (k > 0) std::memmove(s, s + k, std::strlen(s + k) + 1);
    return static_cast<int>(k);
}

int RTrim(char* s) {
    if (!s || !*s) return 0;
    std::size_t end = std::strlen(s);  // one past the last kept character
    while (end > 0 && IsBlank(s[end - 1])) --end;
    s[end] = '\0';
    return static_cast<int>(end) - 1;
}

int Trim(char* s) {
    if (!s || !*s) return 0;
    const int left = LTrim(s);
    return left + RTrim(s);
}

bool FileExists(const char* path) {
    FILEINFO info{};
    void* handle = nullptr;
    const long found = BSS::HAL::PathMapC::findFirstFile(path, handle, &info);
    BSS::HAL::PathMapC::findClose(handle);
    return found == 0;
}

void SplitPath(const char* path, char* drive, char* dir, char* name, char* ext) {
    Clear(drive);
    Clear(dir);
    Clear(name);
    Clear(ext);
    if (!path) return;
    const std::size_t length = strnlen(path, kSplitPathMax + 1);
    if (length == 0 || length > static_cast<std::size_t>(kSplitPathMax)) return;

    char copy[kSplitPathMax + 1];
    std::memcpy(copy, path, length + 1);

    if (char* dot = std::strrchr(copy, '.')) {
        CopyOut(ext, dot);
        *dot = '\0';
    }

    char* sep = nullptr;
    for (char* p = copy; *p; ++p) {
        if (*p == '\\' || *p == ':') sep = p;
    }
    char* nameStart = sep ? sep + 1 : copy;
    CopyOut(name, nameStart);
    *nameStart = '\0';

    char* colon = std::strchr(copy, ':');
    char* dirStart = colon ? colon + 1 : copy;
    CopyOut(dir, dirStart);
    *dirStart = '\0';

    CopyOut(drive, copy);
}

}  // namespace UTL
