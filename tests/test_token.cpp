// Display texts by token: the bridge, the accessor interface and StringC's use of them.
#include <UTL/StringC.h>
#include <UTL/TokenAccessor.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// Serves texts from a table and records every request.
class TableAccessor : public UTL::TokenAccessorI {
public:
    const char16_t* getToken(unsigned long key1, unsigned long key2) override {
        requests.emplace_back(key1, key2);
        auto found = texts.find({key1, key2});
        return found == texts.end() ? nullptr : found->second.c_str();
    }

    std::map<std::pair<unsigned long, unsigned long>, std::u16string> texts;
    std::vector<std::pair<unsigned long, unsigned long>> requests;
};

// A derived accessor that keeps the default body.
class SilentAccessor : public UTL::TokenAccessorI {};

// Every test starts and ends with no accessor installed.
class TokenTest : public ::testing::Test {
protected:
    void SetUp() override { UTL::TokenAccessorBridgeC::setTokenAccessor(nullptr); }
    void TearDown() override { UTL::TokenAccessorBridgeC::setTokenAccessor(nullptr); }
};

std::u16string Text(const StringC& s) {
    return std::u16string(static_cast<const char16_t*>(s));
}

TEST_F(TokenTest, NoAccessorOrTheDefaultBodyMeansNoText) {
    EXPECT_EQ(UTL::TokenAccessorBridgeC::getToken(0, 0), nullptr);
    EXPECT_EQ(UTL::TokenAccessorBridgeC::getToken(0xFFFFFFFFul, 1), nullptr);
    SilentAccessor silent;
    UTL::TokenAccessorBridgeC::setTokenAccessor(&silent);
    EXPECT_EQ(UTL::TokenAccessorBridgeC::getToken(1, 2), nullptr);
    UTL::TokenAccessorI plain;  // the interface itself can be instantiated
    EXPECT_EQ(plain.getToken(1, 2), nullptr);
}

TEST_F(TokenTest, KeysArriveUnchangedAndInOrder) {
    TableAccessor table;
    table.texts[{7, 3}] = u"seven-three";
    UTL::TokenAccessorBridgeC::setTokenAccessor(&table);
    EXPECT_EQ(std::u16string(UTL::TokenAccessorBridgeC::getToken(7, 3)), u"seven-three");
    EXPECT_EQ(UTL::TokenAccessorBridgeC::getToken(3, 7), nullptr);
    UTL::TokenAccessorBridgeC::getToken(0xFFFFFFFFul, 0);
    const std::vector<std::pair<unsigned long, unsigned long>> expected = {
        {7, 3}, {3, 7}, {0xFFFFFFFFul, 0}};
    EXPECT_EQ(table.requests, expected);
}

TEST_F(TokenTest, ReplacingAndUninstallingLeaveAccessorsAlive) {
    TableAccessor first;
    first.texts[{1, 1}] = u"first";
    TableAccessor second;
    second.texts[{1, 1}] = u"second";
    UTL::TokenAccessorBridgeC::setTokenAccessor(&first);
    UTL::TokenAccessorBridgeC::setTokenAccessor(&second);
    EXPECT_EQ(std::u16string(UTL::TokenAccessorBridgeC::getToken(1, 1)), u"second");
    EXPECT_TRUE(first.requests.empty());
    UTL::TokenAccessorBridgeC::setTokenAccessor(nullptr);
    EXPECT_EQ(UTL::TokenAccessorBridgeC::getToken(1, 1), nullptr);
    // Neither was destroyed by the bridge: both still answer.
    EXPECT_EQ(std::u16string(first.getToken(1, 1)), u"first");
    EXPECT_EQ(std::u16string(second.getToken(1, 1)), u"second");
}

TEST_F(TokenTest, LoadTxtCopiesTheText) {
    TableAccessor table;
    table.texts[{10, 20}] = u"Instrument ready";
    table.texts[{10, 21}] = u"";
    UTL::TokenAccessorBridgeC::setTokenAccessor(&table);

    StringC s(u"old");
    EXPECT_TRUE(s.LoadTxt(10, 20));
    EXPECT_EQ(Text(s), u"Instrument ready");
    EXPECT_NE(static_cast<const char16_t*>(s), table.texts[std::make_pair(10ul, 20ul)].c_str());
    table.texts[{10, 20}] = u"changed later";
    EXPECT_EQ(Text(s), u"Instrument ready");

    EXPECT_TRUE(s.LoadTxt(10, 21));  // an empty text is still a text
    EXPECT_TRUE(s.IsEmpty());

    s = u"old";
    EXPECT_FALSE(s.LoadTxt(99, 99));
    EXPECT_TRUE(s.IsEmpty());
}

TEST_F(TokenTest, ConstructorFromTwoKeys) {
    TableAccessor table;
    table.texts[{4, 5}] = u"from keys";
    UTL::TokenAccessorBridgeC::setTokenAccessor(&table);
    EXPECT_EQ(Text(StringC(4u, 5u)), u"from keys");
    EXPECT_TRUE(StringC(5u, 4u).IsEmpty());
    const std::vector<std::pair<unsigned long, unsigned long>> expected = {{4, 5}, {5, 4}};
    EXPECT_EQ(table.requests, expected);
}

}  // namespace
