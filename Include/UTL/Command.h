// Bases of the applications' command objects and of their execute testers.
#pragma once

#include <UTL/Export.h>

namespace UTL {

class CommandDataC;
class ExecuteTesterDataC;
class ExecuteTesterI;

// A command: a 16-bit label, a command type and a 32-bit id, kept in a private
// data object of its own (never shared, also not by copies). The library
// stores the values unchanged and never calls Execute.
class UTL_API CommandI {
public:
    // The kind of a command. The library gives the values no meaning; 0 is the
    // default. The underlying type is fixed at 32 bits, so applications may
    // store any value of their own (static_cast<CommandTypeT>(n)).
    enum CommandTypeT : int { CMD_TypeDefault = 0 };

    CommandI(unsigned short label = 0, CommandTypeT type = CMD_TypeDefault, unsigned long id = 0);
    // A new data object holding the source's label, type and id.
    CommandI(const CommandI& other);
    virtual ~CommandI();

    // Runs the command; supplied by each concrete command.
    virtual bool Execute() = 0;

    // Whether the command may run now. Default: true.
    virtual bool CanExecute() const;
    // A tester for this command, or null (the default: no tester). Who owns
    // the tester is between the concrete command and its caller.
    virtual ExecuteTesterI* CreateExecuteTester();

    void LabelSet(unsigned short label);
    unsigned short LabelGet() const;
    void SetCommandType(CommandTypeT type);
    CommandTypeT GetCommandType() const;
    // The id is 32 bits wide: higher bits of the argument are dropped.
    void SetCommandId(unsigned long id);
    unsigned long GetCommandId() const;

    CommandDataC* GetData() { return m_data; }
    const CommandDataC* GetData() const { return m_data; }

private:
    // Copies the values into this command's own data object; self-assignment
    // changes nothing. Not available to users.
    CommandI& operator=(const CommandI& other);

    CommandDataC* m_data;
};

// A tester of a command: the id of the command it serves and a flag that
// switches its messages off, kept in a private data object of its own.
class UTL_API ExecuteTesterI {
public:
    ExecuteTesterI();  // command id 0, messages enabled
    // A new data object holding the source's id and flag.
    ExecuteTesterI(const ExecuteTesterI& other);
    virtual ~ExecuteTesterI();

    // Tests whether the command may run; supplied by each concrete tester.
    virtual bool Test() = 0;

    // The id is 32 bits wide: higher bits of the argument are dropped.
    void SetCommandId(unsigned long id);
    unsigned long GetCommandId() const;
    void SetMessagesDisabled(bool disabled);
    bool MessagesDisabled() const;

    ExecuteTesterDataC* GetData() { return m_data; }
    const ExecuteTesterDataC* GetData() const { return m_data; }

private:
    ExecuteTesterI& operator=(const ExecuteTesterI& other);

    ExecuteTesterDataC* m_data;
};

}  // namespace UTL
