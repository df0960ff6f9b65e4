// The library's static objects exist, in their fixed order, once it is loaded.
#include <UTL/Library.h>

#include <gtest/gtest.h>

#include <string>

TEST(LibraryLoad, StaticObjectsAreBuiltInOrder) {
    const std::string sequence = UTL::LoadSequence();
    const auto formatMutex = sequence.find("format mutex");
    const auto fileLock = sequence.find("file output lock");
    ASSERT_NE(formatMutex, std::string::npos) << sequence;
    ASSERT_NE(fileLock, std::string::npos) << sequence;
    EXPECT_LT(formatMutex, fileLock);
    const auto reportWriter = sequence.find("report writer");
    ASSERT_NE(reportWriter, std::string::npos) << sequence;
    EXPECT_LT(fileLock, reportWriter);
}
