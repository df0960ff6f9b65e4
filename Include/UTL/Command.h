/// @file
/// Bases of the applications' command objects and of their execute testers.
#pragma once

#include <UTL/Export.h>

namespace UTL {

class CommandDataC;
class ExecuteTesterDataC;
class ExecuteTesterI;

/// A command: a 16-bit label, a command type and a 32-bit id, kept in a private
/// data object of its own (never shared, also not by copies). The library
/// stores the values unchanged and never calls Execute.
class UTL_API CommandI {
public:
    /// The kind of a command. The library gives the values no meaning; 0 is the
    /// default. The underlying type is fixed at 32 bits, so applications may
    /// store any value of their own (static_cast<CommandTypeT>(n)).
    enum CommandTypeT : int { CMD_TypeDefault = 0 };

    /// A command with the given label, type and id (32 bits are kept).
    CommandI(unsigned short label = 0, CommandTypeT type = CMD_TypeDefault, unsigned long id = 0);
    /// A new data object holding the source's label, type and id.
    CommandI(const CommandI& other);
    virtual ~CommandI();

    /// Runs the command; supplied by each concrete command.
    virtual bool Execute() = 0;

    /// Whether the command may run now. Default: true.
    virtual bool CanExecute() const;
    /// A tester for this command, or null (the default: no tester). Who owns
    /// the tester is between the concrete command and its caller.
    virtual ExecuteTesterI* CreateExecuteTester();

    void LabelSet(unsigned short label);     ///< sets the 16-bit label
    unsigned short LabelGet() const;         ///< the label
    void SetCommandType(CommandTypeT type);  ///< sets the command type
    CommandTypeT GetCommandType() const;     ///< the command type
    /// The id is 32 bits wide: higher bits of the argument are dropped.
    void SetCommandId(unsigned long id);
    unsigned long GetCommandId() const;  ///< the 32-bit id

    ///@{
    /// The command's private data object (opaque to applications).
    CommandDataC* GetData() { return m_data; }
    const CommandDataC* GetData() const { return m_data; }
    ///@}

private:
    /// Copies the values into this command's own data object; self-assignment
    /// changes nothing. Not available to users.
    CommandI& operator=(const CommandI& other);

    CommandDataC* m_data;
};

/// A tester of a command: the id of the command it serves and a flag that
/// switches its messages off, kept in a private data object of its own.
class UTL_API ExecuteTesterI {
public:
    ExecuteTesterI();  ///< command id 0, messages enabled
    /// A new data object holding the source's id and flag.
    ExecuteTesterI(const ExecuteTesterI& other);
    virtual ~ExecuteTesterI();

    /// Tests whether the command may run; supplied by each concrete tester.
    virtual bool Test() = 0;

    /// The id is 32 bits wide: higher bits of the argument are dropped.
    void SetCommandId(unsigned long id);
    unsigned long GetCommandId() const;       ///< the 32-bit id
    void SetMessagesDisabled(bool disabled);  ///< switches the tester's messages off (true) or on
    bool MessagesDisabled() const;            ///< true when the messages are switched off

    ///@{
    /// The tester's private data object (opaque to applications).
    ExecuteTesterDataC* GetData() { return m_data; }
    const ExecuteTesterDataC* GetData() const { return m_data; }
    ///@}

private:
    ExecuteTesterI& operator=(const ExecuteTesterI& other);

    ExecuteTesterDataC* m_data;
};

}  // namespace UTL
