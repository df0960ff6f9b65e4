// Application support classes: the API unlock counter, command and tester
// bases, and the intrusive reference counter.
#include <UTL/APILock.h>
#include <UTL/Command.h>
#include <UTL/RefCounter.h>

#include <gtest/gtest.h>

#include <climits>
#include <type_traits>

namespace {

using UTL::APILockManagementC;
using UTL::APIUnlockC;

static_assert(!std::is_copy_constructible<APIUnlockC>::value, "a copy would close twice");

class APILock : public ::testing::Test {
protected:
    void SetUp() override { APILockManagementC::Cleanup(); }
    void TearDown() override { APILockManagementC::Cleanup(); }
};

TEST_F(APILock, LockedByDefaultAndNeverBelowZero) {
    EXPECT_TRUE(APILockManagementC::IsLocked());
    EXPECT_FALSE(APILockManagementC::Lock());
    APILockManagementC::Unlock();
    EXPECT_FALSE(APILockManagementC::IsLocked());
    EXPECT_TRUE(APILockManagementC::Lock());
    EXPECT_TRUE(APILockManagementC::IsLocked());
    EXPECT_FALSE(APILockManagementC::Lock());
    EXPECT_TRUE(APILockManagementC::IsLocked());
}

TEST_F(APILock, NestedScopesStackAndCleanupDiscardsTheCount) {
    {
        APIUnlockC outer;
        {
            APIUnlockC inner;
            // Two levels open: two locks succeed, a third is refused.
            EXPECT_TRUE(APILockManagementC::Lock() && APILockManagementC::Lock());
            EXPECT_FALSE(APILockManagementC::Lock());
            APILockManagementC::Unlock();
            APILockManagementC::Unlock();
        }
        EXPECT_FALSE(APILockManagementC::IsLocked());
    }
    EXPECT_TRUE(APILockManagementC::IsLocked());

    {
        APIUnlockC scope;
        APILockManagementC::Cleanup();
        EXPECT_TRUE(APILockManagementC::IsLocked());
    }  // the scope's Lock is refused: still locked, no underflow
    APILockManagementC::Unlock();
    EXPECT_FALSE(APILockManagementC::IsLocked());
}

TEST_F(APILock, SixteenBitCountWraps) {
    for (int i = 0; i < 65535; ++i) APILockManagementC::Unlock();
    EXPECT_FALSE(APILockManagementC::IsLocked());
    APILockManagementC::Unlock();  // the 65536th wraps to 0
    EXPECT_TRUE(APILockManagementC::IsLocked());
}

// --- Commands and execute testers --------------------------------------------

using UTL::CommandI;
using UTL::ExecuteTesterI;

struct Tester : ExecuteTesterI {
    bool Test() override { return !MessagesDisabled(); }
};
struct Command : CommandI {
    using CommandI::CommandI;
    bool Execute() override { return true; }
};

static_assert(!std::is_copy_assignable<Command>::value && !std::is_copy_assignable<Tester>::value,
              "assignment is withheld from users");

TEST(Commands, DefaultsFullWidthValuesAndIndependentCopies) {
    Command plain;
    EXPECT_TRUE(plain.LabelGet() == 0 && plain.GetCommandType() == CommandI::CMD_TypeDefault &&
                plain.GetCommandId() == 0 && plain.CanExecute());
    EXPECT_EQ(plain.CreateExecuteTester(), nullptr);

    const auto own = static_cast<CommandI::CommandTypeT>(0x7FFFFFFF);  // the application's kind
    Command source(0xFFFF, own, 0xFFFFFFFFul);
    Command copy(source);
    copy.LabelSet(6);
    EXPECT_NE(copy.GetData(), source.GetData());
    EXPECT_TRUE(copy.GetCommandType() == own && copy.GetCommandId() == 0xFFFFFFFFul);
    EXPECT_EQ(source.LabelGet(), 0xFFFF);

    Tester tester;
    EXPECT_TRUE(tester.GetCommandId() == 0 && !tester.MessagesDisabled());
    tester.SetMessagesDisabled(true);
    Tester testerCopy(tester);
    EXPECT_TRUE(testerCopy.MessagesDisabled());
    testerCopy.SetMessagesDisabled(false);
    EXPECT_TRUE(tester.MessagesDisabled());
    EXPECT_FALSE(tester.Test());
}

// --- Reference counter -------------------------------------------------------

struct Counted : UTL::RefCounterC {
    explicit Counted(bool* destroyed) : destroyed(destroyed) {}
    Counted(const Counted&) = default;
    Counted& operator=(const Counted&) = default;
    ~Counted() override { *destroyed = true; }
    bool* destroyed;
};

TEST(RefCounter, OnlyTheDecrementToZeroDestroys) {
    bool destroyed = false;
    auto* object = new Counted(&destroyed);
    EXPECT_EQ(object->DecrementRefCount(), 0);  // at 0: nothing changes
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(object->IncrementRefCount(), 1);
    EXPECT_EQ(object->IncrementRefCount(), 2);
    EXPECT_EQ(object->DecrementRefCount(), 1);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(object->DecrementRefCount(), 0);
    EXPECT_TRUE(destroyed);
}

TEST(RefCounter, CopiesCarryTheCount) {
    bool destroyed = false;
    Counted source(&destroyed), target(&destroyed);
    for (int i = 0; i < 3; ++i) source.IncrementRefCount();
    Counted copy(source);
    EXPECT_EQ(copy.IncrementRefCount(), 4);  // began at 3
    target = source;
    target = target;  // self-assignment keeps the count
    EXPECT_EQ(target.IncrementRefCount(), 4);
}

TEST(RefCounter, CountWrapsAtThirtyTwoBits) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "2^31 increments take too long under the sanitizers";
#endif
    bool destroyed = false;
    Counted object(&destroyed);
    long count = 0;
    for (long i = 0; i < INT32_MAX; ++i) count = object.IncrementRefCount();
    EXPECT_EQ(count, INT32_MAX);
    EXPECT_EQ(object.IncrementRefCount(), INT32_MIN);  // no signed overflow
    EXPECT_EQ(object.DecrementRefCount(), INT32_MAX);
    EXPECT_FALSE(destroyed);
}

}  // namespace
