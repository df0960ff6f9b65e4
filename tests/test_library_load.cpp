// The library's static objects exist, in their fixed order, once it is loaded.
#include <UTL/Library.h>

#include <gtest/gtest.h>

#include <string>

TEST(LibraryLoad, StaticObjectsAreBuiltInOrder) {
    const std::string sequence = UTL::LoadSequence();
    const auto fileLock = sequence.find("file output lock");
    ASSERT_NE(fileLock, std::string::npos) << sequence;
    const auto reportWriter = sequence.find("report writer");
    ASSERT_NE(reportWriter, std::string::npos) << sequence;
    EXPECT_LT(fileLock, reportWriter);
}
