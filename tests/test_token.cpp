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

TEST(Token, BridgeLoadTxtAndTheTwoKeyConstructor) {
    EXPECT_EQ(Bridge::getToken(0xFFFFFFFFul, 1), nullptr);  // nothing installed
    UTL::TokenAccessorI plain;                              // the default body has no text
    Bridge::setTokenAccessor(&plain);
    EXPECT_EQ(Bridge::getToken(1, 2), nullptr);
    TableAccessor first, table;
    table.texts = {{{10, 20}, u"Instrument ready"}, {{10, 21}, u""}};
    Bridge::setTokenAccessor(&first);
    Bridge::setTokenAccessor(&table);  // replaced, not destroyed
    StringC s(u"old");
    EXPECT_TRUE(s.LoadTxt(10, 20));
    const StringC fromKeys(10u, 20u);
    table.texts[{10, 20}] = u"changed later";  // the strings hold copies
    EXPECT_TRUE(s == u"Instrument ready" && fromKeys == u"Instrument ready");
    EXPECT_TRUE(s.LoadTxt(10, 21));  // an empty text is still a text
    EXPECT_TRUE(s.IsEmpty());
    s = u"old";
    EXPECT_FALSE(s.LoadTxt(0xFFFFFFFFul, 0));
    EXPECT_TRUE(s.IsEmpty() && StringC(20u, 10u).IsEmpty());
    EXPECT_EQ(table.requests,
              (std::vector<Keys>{{10, 20}, {10, 20}, {10, 21}, {0xFFFFFFFFul, 0}, {20, 10}}));
    EXPECT_TRUE(first.requests.empty());
    Bridge::setTokenAccessor(nullptr);
    EXPECT_EQ(Bridge::getToken(10, 20), nullptr);
}
