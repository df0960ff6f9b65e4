// Application support: commands and their testers, the API lock, reference
// counting, display texts by token.
#include <UTL/APILock.h>
#include <UTL/Command.h>
#include <UTL/RefCounter.h>
#include <UTL/StringC.h>
#include <UTL/TokenAccessor.h>
#include <UTL/WideText.h>

#include <cstdio>
#include <memory>

using namespace UTL;

// A tester decides whether its command may run now.
class BatteryTester : public ExecuteTesterI {
public:
    bool Test() override { return !APILockManagementC::IsLocked(); }
};

// A command: label, type and id are kept by the base; Execute is the work.
class MeasureCommand : public CommandI {
public:
    explicit MeasureCommand(unsigned long id) : CommandI(7, CMD_TypeDefault, id) {}
    bool Execute() override {
        std::printf("measuring for command %lu\n", GetCommandId());
        return true;
    }
    ExecuteTesterI* CreateExecuteTester() override {  // the caller owns it
        auto* tester = new BatteryTester;
        tester->SetCommandId(GetCommandId());
        return tester;
    }
};

// Shared by several holders; the last release deletes it.
class Track : public RefCounterC {
public:
    ~Track() override { std::puts("track deleted"); }
};

// Supplies display texts for pairs of keys.
class Texts : public TokenAccessorI {
public:
    const char16_t* getToken(unsigned long key1, unsigned long key2) override {
        return key1 == 10 && key2 == 1 ? u"Measure distance" : nullptr;
    }
};

int main() {
    MeasureCommand command(1001);
    std::unique_ptr<ExecuteTesterI> tester(command.CreateExecuteTester());

    // The API lock is locked by default; an APIUnlockC opens it for its scope.
    std::printf("locked: may run %d\n", tester->Test());
    {
        APIUnlockC open;
        if (tester->Test()) command.Execute();
    }

    Track* track = new Track;
    track->IncrementRefCount();  // first holder
    track->IncrementRefCount();  // second holder
    track->DecrementRefCount();
    std::printf("one holder left\n");
    track->DecrementRefCount();  // deletes the track

    Texts texts;  // must outlive its installation
    TokenAccessorBridgeC::setTokenAccessor(&texts);
    char narrow[64];
    UTL::UnicodeToAscii(narrow, sizeof narrow, StringC(10u, 1u));
    StringC missing;
    std::printf("%s; key 10/2: %d\n", narrow, missing.LoadTxt(10, 2));
    TokenAccessorBridgeC::setTokenAccessor(nullptr);
}

// Output:
//   locked: may run 0
//   measuring for command 1001
//   one holder left
//   track deleted
//   Measure distance; key 10/2: 0
