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

TEST_F(APILock, FreshGateIsLockedAndRefusesLock) {
    EXPECT_TRUE(APILockManagementC::IsLocked());
    EXPECT_FALSE(APILockManagementC::Lock());
    EXPECT_TRUE(APILockManagementC::IsLocked());  // no underflow
    EXPECT_EQ(APILockManagementC::Instance(), APILockManagementC::Instance());
}

TEST_F(APILock, UnlockAndLockPairUp) {
    APILockManagementC::Unlock();
    EXPECT_FALSE(APILockManagementC::IsLocked());
    EXPECT_TRUE(APILockManagementC::Lock());
    EXPECT_TRUE(APILockManagementC::IsLocked());
    EXPECT_FALSE(APILockManagementC::Lock());
    EXPECT_TRUE(APILockManagementC::IsLocked());
}

TEST_F(APILock, NestedScopesStack) {
    {
        APIUnlockC outer;
        {
            APIUnlockC inner;
            // Two levels open: two locks succeed, a third is refused.
            EXPECT_TRUE(APILockManagementC::Lock());
            EXPECT_TRUE(APILockManagementC::Lock());
            EXPECT_FALSE(APILockManagementC::Lock());
            APILockManagementC::Unlock();
            APILockManagementC::Unlock();
        }
        EXPECT_FALSE(APILockManagementC::IsLocked());
    }
    EXPECT_TRUE(APILockManagementC::IsLocked());
}

TEST_F(APILock, ScopeEndingAfterCleanupLeavesTheGateLocked) {
    {
        APIUnlockC scope;
        APILockManagementC::Unlock();
        APILockManagementC::Cleanup();  // discards the count
        EXPECT_TRUE(APILockManagementC::IsLocked());
    }
    EXPECT_TRUE(APILockManagementC::IsLocked());
    APILockManagementC::Unlock();
    EXPECT_FALSE(APILockManagementC::IsLocked());
}

TEST_F(APILock, SixteenBitCountWraps) {
    for (int i = 0; i < 65535; ++i) APILockManagementC::Unlock();
    EXPECT_FALSE(APILockManagementC::IsLocked());
    APILockManagementC::Unlock();  // the 65536th wraps to 0
    EXPECT_TRUE(APILockManagementC::IsLocked());
    EXPECT_FALSE(APILockManagementC::Lock());
}

// --- Commands and execute testers --------------------------------------------

using UTL::CommandI;
using UTL::ExecuteTesterI;

class Tester : public ExecuteTesterI {
public:
    bool Test() override { return !MessagesDisabled(); }
};

class Command : public CommandI {
public:
    using CommandI::CommandI;
    bool Execute() override { return true; }
};

class GuardedCommand : public Command {
public:
    bool CanExecute() const override { return false; }
    ExecuteTesterI* CreateExecuteTester() override {
        auto* tester = new Tester;
        tester->SetCommandId(GetCommandId());
        return tester;
    }
};

static_assert(!std::is_copy_assignable<Command>::value, "assignment is withheld from users");
static_assert(!std::is_copy_assignable<Tester>::value, "assignment is withheld from users");

TEST(Commands, DefaultsAndStoredValues) {
    Command plain;
    EXPECT_EQ(plain.LabelGet(), 0);
    EXPECT_EQ(plain.GetCommandType(), CommandI::CMD_TypeDefault);
    EXPECT_EQ(static_cast<int>(plain.GetCommandType()), 0);
    EXPECT_EQ(plain.GetCommandId(), 0ul);
    EXPECT_TRUE(plain.CanExecute());
    EXPECT_EQ(plain.CreateExecuteTester(), nullptr);
    EXPECT_NE(plain.GetData(), nullptr);

    const auto type = static_cast<CommandI::CommandTypeT>(42);  // the application's own kind
    Command full(0xFFFF, type, 0xFFFFFFFFul);
    EXPECT_EQ(full.LabelGet(), 0xFFFF);
    EXPECT_EQ(full.GetCommandType(), type);
    EXPECT_EQ(full.GetCommandId(), 0xFFFFFFFFul);

    full.LabelSet(7);
    full.SetCommandType(CommandI::CMD_TypeDefault);
    full.SetCommandId(0x1234);
    EXPECT_EQ(full.LabelGet(), 7);
    EXPECT_EQ(full.GetCommandType(), CommandI::CMD_TypeDefault);
    EXPECT_EQ(full.GetCommandId(), 0x1234ul);
}

TEST(Commands, CopiesOwnTheirData) {
    Command source(5, static_cast<CommandI::CommandTypeT>(3), 99);
    Command copy(source);
    EXPECT_NE(copy.GetData(), source.GetData());
    EXPECT_EQ(copy.LabelGet(), 5);
    EXPECT_EQ(static_cast<int>(copy.GetCommandType()), 3);
    EXPECT_EQ(copy.GetCommandId(), 99ul);
    copy.LabelSet(6);
    copy.SetCommandId(100);
    EXPECT_EQ(source.LabelGet(), 5);
    EXPECT_EQ(source.GetCommandId(), 99ul);
}

TEST(Commands, OverridesSupplyTesters) {
    GuardedCommand command;
    command.SetCommandId(77);
    EXPECT_FALSE(command.CanExecute());
    ExecuteTesterI* tester = command.CreateExecuteTester();
    ASSERT_NE(tester, nullptr);
    EXPECT_EQ(tester->GetCommandId(), 77ul);
    EXPECT_TRUE(tester->Test());
    delete tester;  // the caller owns it here
}

TEST(ExecuteTesters, DefaultsCopiesAndIndependence) {
    Tester tester;
    EXPECT_EQ(tester.GetCommandId(), 0ul);
    EXPECT_FALSE(tester.MessagesDisabled());
    tester.SetMessagesDisabled(true);
    tester.SetCommandId(0xFFFFFFFFul);
    EXPECT_TRUE(tester.MessagesDisabled());

    Tester copy(tester);
    EXPECT_NE(copy.GetData(), tester.GetData());
    EXPECT_TRUE(copy.MessagesDisabled());
    EXPECT_EQ(copy.GetCommandId(), 0xFFFFFFFFul);
    copy.SetMessagesDisabled(false);
    copy.SetCommandId(1);
    EXPECT_TRUE(tester.MessagesDisabled());
    EXPECT_EQ(tester.GetCommandId(), 0xFFFFFFFFul);
}

// --- Reference counter -------------------------------------------------------

struct Counted : UTL::RefCounterC {
    explicit Counted(bool* destroyed) : destroyed(destroyed) {}
    Counted(const Counted&) = default;
    Counted& operator=(const Counted&) = default;
    ~Counted() override { *destroyed = true; }
    bool* destroyed;
};

TEST(RefCounter, ZeroCountIsNeverDestroyedByDecrement) {
    bool destroyed = false;
    auto* object = new Counted(&destroyed);
    EXPECT_EQ(object->DecrementRefCount(), 0);
    EXPECT_EQ(object->DecrementRefCount(), 0);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(object->IncrementRefCount(), 1);  // still counts from 0
    EXPECT_EQ(object->DecrementRefCount(), 0);
    EXPECT_TRUE(destroyed);
}

TEST(RefCounter, LastDecrementDestroys) {
    bool destroyed = false;
    auto* object = new Counted(&destroyed);
    EXPECT_EQ(object->IncrementRefCount(), 1);
    EXPECT_EQ(object->IncrementRefCount(), 2);
    EXPECT_EQ(object->DecrementRefCount(), 1);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(object->DecrementRefCount(), 0);
    EXPECT_TRUE(destroyed);
}

TEST(RefCounter, CopiesCarryTheCount) {
    bool destroyed = false;
    auto* source = new Counted(&destroyed);
    for (int i = 0; i < 3; ++i) source->IncrementRefCount();

    auto* copy = new Counted(*source);
    EXPECT_EQ(copy->IncrementRefCount(), 4);  // began at 3

    bool otherDestroyed = false;
    auto* other = new Counted(&otherDestroyed);
    *other = *source;
    EXPECT_EQ(other->IncrementRefCount(), 4);
    *other = *other;  // self-assignment keeps the count
    EXPECT_EQ(other->DecrementRefCount(), 3);

    delete copy;
    delete other;
    delete source;
}

TEST(RefCounter, CountWrapsAtThirtyTwoBits) {
    // A 32-bit count whatever the width of long: INT32_MAX + 1 wraps to
    // INT32_MIN instead of overflowing, and the object is not destroyed on the
    // way (only a decrement to exactly 0 destroys).
    bool destroyed = false;
    Counted object(&destroyed);
    long count = 0;
    for (long i = 0; i < INT32_MAX; ++i) count = object.IncrementRefCount();
    EXPECT_EQ(count, INT32_MAX);
    EXPECT_EQ(object.IncrementRefCount(), INT32_MIN);
    EXPECT_EQ(object.DecrementRefCount(), INT32_MAX);
    EXPECT_EQ(object.IncrementRefCount(), INT32_MIN);
    EXPECT_EQ(object.IncrementRefCount(), INT32_MIN + 1);
    EXPECT_FALSE(destroyed);
}

}  // namespace
