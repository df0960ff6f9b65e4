// Application support classes: the API unlock counter, command and tester
// bases, and the intrusive reference counter.
#include <UTL/APILock.h>
#include <UTL/Command.h>
#include <UTL/RefCounter.h>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using API = UTL::APILockManagementC;

TEST(Support, ApiLockCountsUnlockScopes) {
    API::Cleanup();
    EXPECT_TRUE(API::IsLocked());
    EXPECT_FALSE(API::Lock());  // never below zero
    API::Unlock();
    EXPECT_FALSE(API::IsLocked());
    EXPECT_TRUE(API::Lock());
    EXPECT_TRUE(API::IsLocked());
    {
        UTL::APIUnlockC outer;
        {
            UTL::APIUnlockC inner;  // two levels open: two locks succeed, a third is refused
            EXPECT_TRUE(API::Lock());
            EXPECT_TRUE(API::Lock());
            EXPECT_FALSE(API::Lock());
            API::Unlock(), API::Unlock();
        }
        EXPECT_TRUE(API::Lock());  // the inner scope closed its level: one is left
        EXPECT_FALSE(API::Lock());
        API::Unlock();
    }
    EXPECT_TRUE(API::IsLocked());  // the outer scope closed the last level
    {
        UTL::APIUnlockC scope;
        API::Cleanup();  // the count is discarded
        EXPECT_TRUE(API::IsLocked());
    }  // the scope's Lock is refused: no underflow
    EXPECT_TRUE(API::IsLocked());
    for (int i = 0; i < 65535; ++i) API::Unlock();
    EXPECT_FALSE(API::IsLocked());
    API::Unlock();  // the 65536th wraps the 16-bit count to 0
    EXPECT_TRUE(API::IsLocked());
    API::Cleanup();
    static_assert(!std::is_copy_constructible<UTL::APIUnlockC>::value, "a copy would close twice");
}

struct Tester : UTL::ExecuteTesterI {
    bool Test() override { return !MessagesDisabled(); }
};
struct Command : UTL::CommandI {
    using CommandI::CommandI;
    bool Execute() override { return true; }
};

TEST(Support, CommandsAndTestersCopyIntoTheirOwnData) {
    Command plain;
    EXPECT_EQ(plain.LabelGet(), 0);
    EXPECT_EQ(plain.GetCommandType(), 0);
    EXPECT_EQ(plain.GetCommandId(), 0u);
    EXPECT_TRUE(plain.CanExecute());
    EXPECT_EQ(plain.CreateExecuteTester(), nullptr);
    const auto own = static_cast<UTL::CommandI::CommandTypeT>(0x7FFFFFFF);
    Command source(0xFFFF, own, 0xFFFFFFFFul), copy(source);
    copy.LabelSet(6);
    EXPECT_EQ(copy.GetCommandType(), own);
    EXPECT_EQ(copy.GetCommandId(), 0xFFFFFFFFul);
    EXPECT_EQ(source.LabelGet(), 0xFFFF);  // 16 bits, untouched by the copy
    Tester tester;
    EXPECT_EQ(tester.GetCommandId(), 0u);
    EXPECT_TRUE(tester.Test());
    tester.SetMessagesDisabled(true);
    tester.SetCommandId(static_cast<unsigned long>(0x1234567890ull));  // 32 bits kept
    EXPECT_EQ(tester.GetCommandId(), 0x34567890ul);
    Tester testerCopy(tester);  // carries the id and the flag
    EXPECT_EQ(testerCopy.GetCommandId(), 0x34567890ul);
    EXPECT_FALSE(testerCopy.Test());
    testerCopy.SetMessagesDisabled(false);
    EXPECT_TRUE(tester.MessagesDisabled());
    EXPECT_TRUE(testerCopy.Test());
    static_assert(!std::is_copy_assignable<Command>(), "");
    static_assert(!std::is_copy_assignable<Tester>(), "");
}

// The count wraps modulo 2^32 in unsigned arithmetic (see RefCounter.cpp).
struct Counted : UTL::RefCounterC {
    explicit Counted(bool* destroyedFlag) : destroyed(destroyedFlag) {}
    ~Counted() override { *destroyed = true; }
    bool* destroyed;
};

TEST(Support, RefCounterDestroysOnTheDecrementToZero) {
    bool destroyed = false;
    auto* object = new Counted(&destroyed);
    EXPECT_EQ(object->DecrementRefCount(), 0);  // at 0: nothing changes
    EXPECT_EQ(object->IncrementRefCount(), 1);
    EXPECT_EQ(object->IncrementRefCount(), 2);
    EXPECT_EQ(object->DecrementRefCount(), 1);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(object->DecrementRefCount(), 0);
    EXPECT_TRUE(destroyed);
    Counted source(&destroyed), target(&destroyed);
    for (int i = 0; i < 3; ++i) source.IncrementRefCount();
    Counted copy(source);
    target = source;
    const Counted& same = target;
    target = same;                           // assignment to itself
    EXPECT_EQ(copy.IncrementRefCount(), 4);  // the count is carried
    EXPECT_EQ(target.IncrementRefCount(), 4);
}

// 2^31 increments wrap the count to INT32_MIN; a decrement from there wraps
// back to INT32_MAX (a negative count is no reason to stop counting).
TEST(Support, RefCounterWrapsBothWays) {
    bool destroyed = false;
    Counted counted(&destroyed);
    for (std::uint32_t i = 0; i < 0x80000000u; ++i) counted.IncrementRefCount();
    EXPECT_EQ(counted.DecrementRefCount(), 2147483647L);
    EXPECT_FALSE(destroyed);
}

}  // namespace
