// Date and time of the report: local time through localtime_r. The report
// writer's start time, taken when the library is loaded, loads the time zone,
// so that a report later takes no heap for it.
#include <cstdint>
#include <ctime>

#include "Services.h"

namespace {

void TwoDigits(char* out, int value) {
    if (value < 0) value = 0;
    out[0] = static_cast<char>('0' + (value / 10) % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

// Three two-digit fields joined by `separator`, into 9 bytes.
char* ThreeFields(char* buffer, int a, int b, int c, char separator) {
    TwoDigits(buffer, a);
    buffer[2] = separator;
    TwoDigits(buffer + 3, b);
    buffer[5] = separator;
    TwoDigits(buffer + 6, c);
    buffer[8] = '\0';
    return buffer;
}

bool LocalNow(std::tm& out) {
    const std::time_t now = std::time(nullptr);
    return localtime_r(&now, &out) != nullptr;
}

}  // namespace

char* _strdate(char* buffer) {
    std::tm now = {};
    LocalNow(now);
    return ThreeFields(buffer, now.tm_mon + 1, now.tm_mday, now.tm_year % 100, '/');
}

char* _strtime(char* buffer) {
    std::tm now = {};
    LocalNow(now);
    return ThreeFields(buffer, now.tm_hour, now.tm_min, now.tm_sec, ':');
}

std::int64_t _time64(std::int64_t* result) {
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    if (result) *result = now;
    return now;
}

std::tm* _localtime64(const std::int64_t* time) {
    static thread_local std::tm local;
    if (!time) return nullptr;
    const std::time_t value = static_cast<std::time_t>(*time);
    return localtime_r(&value, &local);
}
