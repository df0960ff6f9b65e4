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
    char path[] = "a/b/c";
    EXPECT_EQ(ReplaceChars(path, '/', '\\'), 0);
    EXPECT_STREQ(path, "a\\b\\c");

    char none[] = "abc";
    EXPECT_EQ(ReplaceChars(none, '\0', 'x'), 0);  // the terminator is never matched
    EXPECT_STREQ(none, "abc");
    char high[] = "\xE9t\xE9";
    ReplaceChars(high, '\xE9', 'e');
    EXPECT_STREQ(high, "ete");
    EXPECT_EQ(ReplaceChars(nullptr, 'a', 'b'), 0);
}

TEST(Trims, LeftTrimCountsWhatItRemoves) {
    char s[] = " \tab ";
    EXPECT_EQ(LTrim(s), 2);
    EXPECT_STREQ(s, "ab ");
    char plain[] = "ab";
    EXPECT_EQ(LTrim(plain), 0);
    EXPECT_STREQ(plain, "ab");
    char blanks[] = " \t \t";
    EXPECT_EQ(LTrim(blanks), 4);
    EXPECT_STREQ(blanks, "");
    char other[] = "\n\vab";  // only space and tab are blanks
    EXPECT_EQ(LTrim(other), 0);
    char empty[] = "";
    EXPECT_EQ(LTrim(empty), 0);
    EXPECT_EQ(LTrim(nullptr), 0);
}

TEST(Trims, RightTrimReturnsThePositionOfTheLastCharacter) {
    char s[] = "ab \t";
    EXPECT_EQ(RTrim(s), 1);
    EXPECT_STREQ(s, "ab");
    char plain[] = "ab";
    EXPECT_EQ(RTrim(plain), 1);
    char blanks[] = "   ";
    EXPECT_EQ(RTrim(blanks), -1);
    EXPECT_STREQ(blanks, "");
    char one[] = "x";
    EXPECT_EQ(RTrim(one), 0);
    char inner[] = " a b\r";  // \r is not a blank
    EXPECT_EQ(RTrim(inner), 4);
    EXPECT_EQ(RTrim(nullptr), 0);
}

TEST(Trims, TrimAddsBothResults) {
    char s[] = "  ab  ";
    EXPECT_EQ(Trim(s), 3);  // 2 removed + position 1
    EXPECT_STREQ(s, "ab");
    char blanks[] = "   ";
    EXPECT_EQ(Trim(blanks), 3);  // the right trim then sees an empty string
    EXPECT_STREQ(blanks, "");
    char plain[] = "ab";
    EXPECT_EQ(Trim(plain), 1);
    char empty[] = "";
    EXPECT_EQ(Trim(empty), 0);
    EXPECT_EQ(Trim(nullptr), 0);
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

struct Parts {
    std::string drive, dir, name, ext;
};

Parts Split(const char* path) {
    const std::size_t room = (path ? std::strlen(path) : 0) + 1;
    std::string drive(room, '#'), dir(room, '#'), name(room, '#'), ext(room, '#');
    SplitPath(path, &drive[0], &dir[0], &name[0], &ext[0]);
    return {drive.c_str(), dir.c_str(), name.c_str(), ext.c_str()};
}

void ExpectSplit(const char* path, const char* drive, const char* dir, const char* name,
                 const char* ext) {
    const Parts p = Split(path);
    EXPECT_EQ(p.drive, drive) << path;
    EXPECT_EQ(p.dir, dir) << path;
    EXPECT_EQ(p.name, name) << path;
    EXPECT_EQ(p.ext, ext) << path;
}

TEST(SplitPath, BackslashAndColonSeparate) {
    ExpectSplit("C:\\dir\\sub\\file.txt", "C:", "\\dir\\sub\\", "file", ".txt");
    ExpectSplit("file", "", "", "file", "");
    ExpectSplit("C:file", "C:", "", "file", "");
    ExpectSplit("\\\\server\\share\\f.x", "", "\\\\server\\share\\", "f", ".x");
    ExpectSplit("C:\\", "C:", "\\", "", "");
    ExpectSplit("a:b:c\\d", "a:", "b:c\\", "d", "");
}

TEST(SplitPath, SlashIsAnOrdinaryCharacter) {
    ExpectSplit("dir/file.txt", "", "", "dir/file", ".txt");
    ExpectSplit("/usr/lib/x", "", "", "/usr/lib/x", "");
}

TEST(SplitPath, ExtensionStartsAtTheLastDotAnywhere) {
    ExpectSplit("C:\\a.b\\file", "C:", "\\", "a", ".b\\file");
    ExpectSplit("archive.tar.gz", "", "", "archive.tar", ".gz");
    ExpectSplit(".profile", "", "", "", ".profile");
    ExpectSplit("name.", "", "", "name", ".");
}

TEST(SplitPath, LengthLimitAndNulls) {
    const std::string fits = "C:\\" + std::string(UTL::kSplitPathMax - 7, 'a') + ".ext";
    ASSERT_EQ(fits.size(), 774u);
    const Parts split = Split(fits.c_str());
    EXPECT_EQ(split.drive, "C:");
    EXPECT_EQ(split.name.size(), 767u);
    EXPECT_EQ(split.ext, ".ext");

    ExpectSplit((fits + "x").c_str(), "", "", "", "");  // 775 characters: refused
    ExpectSplit(std::string(100000, 'x').c_str(), "", "", "", "");
    ExpectSplit("", "", "", "", "");
    ExpectSplit(nullptr, "", "", "", "");

    char name[16] = "#";
    SplitPath("C:\\d\\f.x", nullptr, nullptr, name, nullptr);  // null outputs are skipped
    EXPECT_STREQ(name, "f");
}

}  // namespace
