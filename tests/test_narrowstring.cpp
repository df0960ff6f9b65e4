// Narrow-string and path helpers: replacement, trims, the file test through
// the path mapping, and SplitPath's backslash-and-colon rules.
#include <UTL/BSS.h>
#include <UTL/NarrowString.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// --- Observing the path mapping ----------------------------------------------
// These definitions interpose the common services' search functions for this
// test program (the executable's symbols come first in the dynamic lookup), so
// that the calls FileExists makes can be recorded; each forwards to the real
// function.
namespace {

struct SearchLog {
    int firstCalls = 0;
    int closeCalls = 0;
    const char* lastPath = nullptr;
    bool infoGiven = false;
    void* handleAtClose = reinterpret_cast<void*>(1);
} g_search;

template <typename Fn>
Fn Next(const char* symbol) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, symbol));
}

}  // namespace

long BSS::HAL::PathMapC::findFirstFile(const char* path, void*& handle, FILEINFO* info) {
    using Fn = long (*)(const char*, void*&, FILEINFO*);
    static const Fn real = Next<Fn>("_ZN3BSS3HAL8PathMapC13findFirstFileEPKcRPvP8FILEINFO");
    ++g_search.firstCalls;
    g_search.lastPath = path;
    g_search.infoGiven = info != nullptr;
    return real(path, handle, info);
}

long BSS::HAL::PathMapC::findClose(void*& handle) {
    using Fn = long (*)(void*&);
    static const Fn real = Next<Fn>("_ZN3BSS3HAL8PathMapC9findCloseERPv");
    ++g_search.closeCalls;
    g_search.handleAtClose = handle;
    return real(handle);
}

namespace {

using UTL::LTrim;
using UTL::ReplaceChars;
using UTL::RTrim;
using UTL::SplitPath;
using UTL::Trim;

TEST(ReplaceChars, ReplacesEveryMatchInPlace) {
    char path[] = "a/b/c\xE9";
    EXPECT_EQ(ReplaceChars(path, '/', '\\'), 0);
    EXPECT_EQ(ReplaceChars(path, '\xE9', 'e'), 0);
    EXPECT_STREQ(path, "a\\b\\ce");
    EXPECT_EQ(ReplaceChars(path, '\0', 'x'), 0);  // the terminator is never matched
    EXPECT_STREQ(path, "a\\b\\ce");
    EXPECT_EQ(ReplaceChars(nullptr, 'a', 'b'), 0);
}

TEST(Trims, ResultsAndRemainders) {
    struct Case {
        int (*trim)(char*);
        const char *in, *out;
        int result;
    } cases[] = {
        {LTrim, " \tab ", "ab ", 2},
        {LTrim, "ab", "ab", 0},
        {LTrim, " \t \t", "", 4},
        {LTrim, "\n\vab", "\n\vab", 0},  // only space and tab are blanks
        {RTrim, "ab \t", "ab", 1},
        {RTrim, "ab", "ab", 1},
        {RTrim, "   ", "", -1},
        {RTrim, "x", "x", 0},
        {RTrim, " a b\r", " a b\r", 4},
        {Trim, "  ab  ", "ab", 3},
        {Trim, "   ", "", 3},
        {Trim, "ab", "ab", 1},
        {LTrim, "", "", 0},
        {RTrim, "", "", 0},
        {Trim, "", "", 0},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(c.trim(&text[0]), c.result) << '"' << c.in << '"';
        EXPECT_STREQ(text.c_str(), c.out) << '"' << c.in << '"';
    }
    EXPECT_EQ(LTrim(nullptr) + RTrim(nullptr) + Trim(nullptr), 0);
}

TEST(FileExists, GoesThroughThePathMappingAndAlwaysCloses) {
    char dir[] = "/tmp/utl_narrow_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/present.txt";
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);

    g_search = {};
    EXPECT_TRUE(UTL::FileExists(file.c_str()));
    EXPECT_EQ(g_search.firstCalls, 1);
    EXPECT_EQ(g_search.closeCalls, 1);
    EXPECT_EQ(g_search.lastPath, file.c_str());  // passed unchanged
    EXPECT_TRUE(g_search.infoGiven);

    const std::string missing = std::string(dir) + "/missing.txt";
    g_search = {};
    EXPECT_FALSE(UTL::FileExists(missing.c_str()));
    EXPECT_EQ(g_search.closeCalls, 1);  // closed after a failed search too

    g_search = {};
    EXPECT_FALSE(UTL::FileExists(nullptr));
    EXPECT_FALSE(UTL::FileExists(""));
    EXPECT_EQ(g_search.closeCalls, 2);

    std::remove(file.c_str());
    rmdir(dir);
}

// Splits `path` into four strings, each with room for the whole path.
std::vector<std::string> Split(const char* path) {
    const std::size_t room = (path ? std::strlen(path) : 0) + 1;
    std::vector<std::string> parts(4, std::string(room, '#'));
    SplitPath(path, &parts[0][0], &parts[1][0], &parts[2][0], &parts[3][0]);
    for (std::string& part : parts) part.resize(std::strlen(part.c_str()));
    return parts;
}

TEST(SplitPath, BackslashAndColonSeparateAndTheLastDotStartsTheExtension) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Split("C:\\dir\\sub\\file.txt"), (V{"C:", "\\dir\\sub\\", "file", ".txt"}));
    EXPECT_EQ(Split("file"), (V{"", "", "file", ""}));
    EXPECT_EQ(Split("C:file"), (V{"C:", "", "file", ""}));
    EXPECT_EQ(Split("\\\\server\\share\\f.x"), (V{"", "\\\\server\\share\\", "f", ".x"}));
    EXPECT_EQ(Split("a:b:c\\d"), (V{"a:", "b:c\\", "d", ""}));
    EXPECT_EQ(Split("dir/file.txt"), (V{"", "", "dir/file", ".txt"}));  // "/" is ordinary
    EXPECT_EQ(Split("C:\\a.b\\file"), (V{"C:", "\\", "a", ".b\\file"}));
    EXPECT_EQ(Split("archive.tar.gz"), (V{"", "", "archive.tar", ".gz"}));
    EXPECT_EQ(Split(".profile"), (V{"", "", "", ".profile"}));
}

TEST(SplitPath, LengthLimitAndNulls) {
    const std::vector<std::string> empty(4);
    const std::string fits = "C:\\" + std::string(UTL::kSplitPathMax - 7, 'a') + ".ext";
    ASSERT_EQ(fits.size(), 774u);
    const std::vector<std::string> split = Split(fits.c_str());
    EXPECT_EQ(split[0] + split[1] + split[3], "C:\\.ext");
    EXPECT_EQ(split[2].size(), 767u);

    EXPECT_EQ(Split((fits + "x").c_str()), empty);  // 775 characters: refused
    EXPECT_EQ(Split(std::string(100000, 'x').c_str()), empty);
    EXPECT_EQ(Split(""), empty);
    EXPECT_EQ(Split(nullptr), empty);

    char name[16] = "#";
    SplitPath("C:\\d\\f.x", nullptr, nullptr, name, nullptr);  // null outputs are skipped
    EXPECT_STREQ(name, "f");
}

}  // namespace
