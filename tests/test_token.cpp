// Display texts by token: the bridge, the accessor interface and StringC's use of them.
#include <UTL/StringC.h>
#include <UTL/TokenAccessor.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

using Keys = std::pair<unsigned long, unsigned long>;
using Bridge = UTL::TokenAccessorBridgeC;

// Serves texts from a table and records every request.
struct TableAccessor : UTL::TokenAccessorI {
    const char16_t* getToken(unsigned long key1, unsigned long key2) override {
        requests.emplace_back(key1, key2);
        auto found = texts.find({key1, key2});
        return found == texts.end() ? nullptr : found->second.c_str();
    }
    std::map<Keys, std::u16string> texts;
    std::vector<Keys> requests;
};

TEST(Token, BridgeForwardsKeysToTheInstalledAccessor) {
    Bridge::setTokenAccessor(nullptr);
    EXPECT_EQ(Bridge::getToken(0xFFFFFFFFul, 1), nullptr);
    UTL::TokenAccessorI plain;  // the default body has no text
    Bridge::setTokenAccessor(&plain);
    EXPECT_EQ(Bridge::getToken(1, 2), nullptr);
    TableAccessor first, second;
    first.texts[{7, 3}] = u"first";
    second.texts[{7, 3}] = u"seven-three";
    Bridge::setTokenAccessor(&first);
    Bridge::setTokenAccessor(&second);  // replaced, not destroyed
    EXPECT_EQ(std::u16string(Bridge::getToken(7, 3)), u"seven-three");
    EXPECT_EQ(Bridge::getToken(3, 7), nullptr);
    Bridge::getToken(0xFFFFFFFFul, 0);
    EXPECT_EQ(second.requests, (std::vector<Keys>{{7, 3}, {3, 7}, {0xFFFFFFFFul, 0}}));
    EXPECT_TRUE(first.requests.empty());
    Bridge::setTokenAccessor(nullptr);
    EXPECT_EQ(Bridge::getToken(7, 3), nullptr);
}

TEST(Token, LoadTxtAndTheTwoKeyConstructorCopyTheText) {
    TableAccessor table;
    table.texts[{10, 20}] = u"Instrument ready";
    table.texts[{10, 21}] = u"";
    Bridge::setTokenAccessor(&table);
    StringC s(u"old");
    EXPECT_TRUE(s.LoadTxt(10, 20));
    const StringC fromKeys(10u, 20u);
    table.texts[{10, 20}] = u"changed later";
    EXPECT_EQ(std::u16string(static_cast<const char16_t*>(s)), u"Instrument ready");
    EXPECT_TRUE(fromKeys == u"Instrument ready");
    EXPECT_TRUE(s.LoadTxt(10, 21));  // an empty text is still a text
    EXPECT_TRUE(s.IsEmpty());
    s = u"old";
    EXPECT_FALSE(s.LoadTxt(99, 99));
    EXPECT_TRUE(s.IsEmpty() && StringC(21u, 10u).IsEmpty());
    EXPECT_EQ(table.requests.back(), Keys(21, 10));
    Bridge::setTokenAccessor(nullptr);
}
