// The public headers leave an application's own names alone: after
// <UTL/UTL.h>, names that applications commonly define (and that platform
// headers often define as macros) compile as the application means them.
#include <UTL/UTL.h>

#include <gtest/gtest.h>

namespace app {

enum class Origin { FILE_BEGIN, FILE_CURRENT, FILE_END };
enum Level { ERROR, WARNING, INFO, DEBUG, TRACE };
constexpr int min(int a, int b) {
    return a < b ? a : b;
}
constexpr int max(int a, int b) {
    return a < b ? b : a;
}
struct MEMORY_BASIC_INFORMATION {
    int pages;
};
constexpr unsigned GENERIC_WRITE = 2;
static_assert(GENERIC_WRITE == 2, "the application's own constant");
using BYTE_COUNT = unsigned long;

}  // namespace app

// The same names at global scope, where a macro or a global declaration of the
// library would collide with them.
enum Mode { FILE_BEGIN, FILE_CURRENT, FILE_END, OPEN_ALWAYS, INVALID_FILE_SIZE };
enum Severity { ERROR = 10, DEBUG = 20, NOERROR = 30 };
int min(int a, int b) {
    return a < b ? a : b;
}
int max(int a, int b) {
    return a < b ? b : a;
}
struct IMAGE_LOAD_SEGMENT {};
// Variables named like the library's internal services: a declaration of one
// of those functions in a public header would collide.
extern const int CreateFileA = 1, GetTempPathA = 7, IsBadWritePtr = 3, wvsprintfA = 4;

TEST(PublicNames, ApplicationNamesKeepTheirMeaning) {
    EXPECT_EQ(static_cast<int>(app::Origin::FILE_END), 2);
    EXPECT_EQ(app::DEBUG, 3);
    EXPECT_EQ(app::min(3, 4), 3);
    EXPECT_EQ(FILE_END, 2);
    EXPECT_EQ(DEBUG, 20);
    EXPECT_EQ(max(3, 4), 4);
    EXPECT_EQ(GetTempPathA, 7);
}
