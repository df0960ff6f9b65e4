// Command and execute-tester bases with their private data objects.
#include <UTL/Command.h>

#include <cstdint>

namespace UTL {

class CommandDataC {
public:
    unsigned short label;
    CommandI::CommandTypeT type;
    std::uint32_t id;
};

class ExecuteTesterDataC {
public:
    std::uint32_t commandId;
    bool messagesDisabled;
};

// --- CommandI ---------------------------------------------------------------

CommandI::CommandI(unsigned short label, CommandTypeT type, unsigned long id)
    : m_data(new CommandDataC{label, type, static_cast<std::uint32_t>(id)}) {}

CommandI::CommandI(const CommandI& other) : m_data(new CommandDataC(*other.m_data)) {}

CommandI& CommandI::operator=(const CommandI& other) {
    if (this != &other) *m_data = *other.m_data;
    return *this;
}

CommandI::~CommandI() {
    delete m_data;
}

bool CommandI::CanExecute() const {
    return true;
}

ExecuteTesterI* CommandI::CreateExecuteTester() {
    return nullptr;
}

void CommandI::LabelSet(unsigned short label) {
    m_data->label = label;
}
unsigned short CommandI::LabelGet() const {
    return m_data->label;
}
void CommandI::SetCommandType(CommandTypeT type) {
    m_data->type = type;
}
CommandI::CommandTypeT CommandI::GetCommandType() const {
    return m_data->type;
}
void CommandI::SetCommandId(unsigned long id) {
    m_data->id = static_cast<std::uint32_t>(id);
}
unsigned long CommandI::GetCommandId() const {
    return m_data->id;
}

// --- ExecuteTesterI ---------------------------------------------------------

ExecuteTesterI::ExecuteTesterI() : m_data(new ExecuteTesterDataC{0, false}) {}

ExecuteTesterI::ExecuteTesterI(const ExecuteTesterI& other)
    : m_data(new ExecuteTesterDataC(*other.m_data)) {}

ExecuteTesterI& ExecuteTesterI::operator=(const ExecuteTesterI& other) {
    if (this != &other) *m_data = *other.m_data;
    return *this;
}

ExecuteTesterI::~ExecuteTesterI() {
    delete m_data;
}

void ExecuteTesterI::SetCommandId(unsigned long id) {
    m_data->commandId = static_cast<std::uint32_t>(id);
}
unsigned long ExecuteTesterI::GetCommandId() const {
    return m_data->commandId;
}
void ExecuteTesterI::SetMessagesDisabled(bool disabled) {
    m_data->messagesDisabled = disabled;
}
bool ExecuteTesterI::MessagesDisabled() const {
    return m_data->messagesDisabled;
}

}  // namespace UTL
