// Narrow-string and path helpers: replacement, trims, the file test through
// the path mapping, and SplitPath's backslash-and-colon rules.
#include <UTL/BSS.h>
#include <UTL/NarrowString.h>

#include <gtest/gtest.h>

#include <cstring>

// FileExists searches through the common services; these definitions take
// their place in this program (the executable's symbols come first in the
// dynamic lookup) and know one file, "present".
namespace {
int g_searches = 0, g_closes = 0;
const char* g_searchPath = nullptr;
}  // namespace

long BSS::HAL::PathMapC::findFirstFile(const char* path, void*& handle, FILEINFO*) {
    ++g_searches, g_searchPath = path, handle = &g_searches;
    return path && std::strcmp(path, "present") == 0 ? 0 : -1;
}

long BSS::HAL::PathMapC::findClose(void*& handle) {
    return ++g_closes, handle = nullptr, 0;
}

namespace {

using UTL::LTrim;
using UTL::RTrim;
using UTL::Trim;

TEST(NarrowString, ReplaceAndTrims) {
    char path[] = "a/b/c\xE9";
    EXPECT_EQ(UTL::ReplaceChars(path, '/', '\\'), 0);
    EXPECT_EQ(UTL::ReplaceChars(path, '\xE9', 'e'), 0);
    EXPECT_EQ(UTL::ReplaceChars(path, '\0', 'x'), 0);  // the terminator is never matched
    EXPECT_STREQ(path, "a\\b\\ce");
    EXPECT_EQ(UTL::ReplaceChars(nullptr, 'a', 'b'), 0);
    // Only space and tab are blanks. RTrim returns the last position kept.
    const struct {
        int (*trim)(char*);
        const char *in, *out;
        int result;
    } cases[] = {{LTrim, " \tab ", "ab ", 2},  {LTrim, "ab", "ab", 0},
                 {LTrim, " \t \t", "", 4},     {LTrim, "\n\vab", "\n\vab", 0},
                 {RTrim, "ab \t", "ab", 1},    {RTrim, "ab", "ab", 1},
                 {RTrim, "   ", "", -1},       {RTrim, "x", "x", 0},
                 {RTrim, " ab\r", " ab\r", 3}, {Trim, "  ab  ", "ab", 3},
                 {Trim, "   ", "", 3},         {LTrim, "", "", 0},
                 {RTrim, "", "", 0},           {Trim, "", "", 0}};
    for (const auto& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(c.trim(&text[0]), c.result) << '"' << c.in << '"';
        EXPECT_STREQ(text.c_str(), c.out) << '"' << c.in << '"';
    }
    EXPECT_EQ(LTrim(nullptr), 0);
    EXPECT_EQ(RTrim(nullptr), 0);
    EXPECT_EQ(Trim(nullptr), 0);
}

TEST(NarrowString, FileExistsAlwaysClosesTheSearch) {
    const char* present = "present";
    EXPECT_TRUE(UTL::FileExists(present));
    EXPECT_EQ(g_searchPath, present);  // passed unchanged
    EXPECT_FALSE(UTL::FileExists("missing"));
    EXPECT_FALSE(UTL::FileExists(nullptr));
    EXPECT_FALSE(UTL::FileExists(""));
    EXPECT_EQ(g_searches, 4);
    EXPECT_EQ(g_closes, 4);  // closed after failed searches too
}

// Splits `path` into drive, dir, name and ext, each with room for the path.
std::vector<std::string> Split(const char* path) {
    const std::size_t room = (path ? std::strlen(path) : 0) + 1;
    std::vector<std::string> parts(4, std::string(room, '#'));
    UTL::SplitPath(path, &parts[0][0], &parts[1][0], &parts[2][0], &parts[3][0]);
    for (std::string& part : parts) part.resize(std::strlen(part.c_str()));
    return parts;
}

TEST(NarrowString, SplitPath) {
    using V = std::vector<std::string>;
    // Backslash and colon separate ("/" is ordinary); the last dot anywhere
    // starts the extension.
    EXPECT_EQ(Split("C:\\dir\\sub\\file.txt"), (V{"C:", "\\dir\\sub\\", "file", ".txt"}));
    EXPECT_EQ(Split("file"), (V{"", "", "file", ""}));
    EXPECT_EQ(Split("C:file"), (V{"C:", "", "file", ""}));
    EXPECT_EQ(Split("\\\\server\\share\\f.x"), (V{"", "\\\\server\\share\\", "f", ".x"}));
    EXPECT_EQ(Split("a:b:c\\d"), (V{"a:", "b:c\\", "d", ""}));
    EXPECT_EQ(Split("dir/file.txt"), (V{"", "", "dir/file", ".txt"}));
    EXPECT_EQ(Split("C:\\a.b\\file"), (V{"C:", "\\", "a", ".b\\file"}));
    EXPECT_EQ(Split(".profile"), (V{"", "", "", ".profile"}));

    const std::string fits = "C:\\" + std::string(767, 'a') + ".ext";  // 774 characters
    EXPECT_EQ(Split(fits.c_str()), (V{"C:", "\\", std::string(767, 'a'), ".ext"}));
    const std::string tooLong = fits + "x";
    for (const char* refused : {tooLong.c_str(), "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(Split(refused), V(4)) << (refused ? std::strlen(refused) : 0);
    char name[16] = "#";
    UTL::SplitPath("C:\\d\\f.x", nullptr, nullptr, name, nullptr);  // null outputs are skipped
    EXPECT_STREQ(name, "f");
}

}  // namespace
