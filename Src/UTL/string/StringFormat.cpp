// StringC formatting and scanning through the library's wide engines, and
// display texts by token.
#include <UTL/StringC.h>

#include <cstdarg>
#include <cstdint>

#include <UTL/LogManagement.h>
#include <UTL/LogSink.h>
#include <UTL/TokenAccessor.h>
#include <UTL/WideText.h>

#include "StringBlock.h"
#include "WideTextInternal.h"

namespace {

// Format rules: longer formats are taken as plain text, results are cut so
// that they fit the engine's area with their terminator.
constexpr unsigned int kFormatLimit = 3500;
constexpr unsigned int kFormatAreaUnits = 4096;

}  // namespace

int StringC::Format(const char16_t* format, ...) {
    if (format == nullptr) {
        NewStr(UTL::stringc::kNoText);
        return 0;
    }
    // A short format is seen in one block; counting stops one unit past the
    // limit.
    UTL::detail::ShortText shortFormat;
    if (!UTL::detail::ReadShortText(format, shortFormat) &&
        UTL::detail::TextLength(format, kFormatLimit + 1) > kFormatLimit) {
        NewStr(format);
        return 0;
    }
    // The result, in the engine's own storage of the calling thread, is cut
    // at 4095 units; one unit more tells a result that does not fit (4096
    // units or more) from one that fills them exactly, which is legal.
    struct Taken {
        StringC* self;
        bool tooLong;
    } taken{this, false};
    const auto take = [](char16_t* text, size_t length, void* context) {
        Taken& to = *static_cast<Taken*>(context);
        to.tooLong = length >= kFormatAreaUnits;
        if (to.tooLong) {
            length = kFormatAreaUnits - 1;
            text[length] = 0;
        }
        // The length is known and the text holds no zero unit before it: an
        // unshared block that fits takes it without a count, else NewStr.
        DataC* block = to.self->m_pcs;
        if (block->IsUnshared() && length <= block->GetMaxLength()) {
            UTL::stringc::MoveUnits(block->Units(), text, static_cast<unsigned int>(length) + 1);
            block->SetLength(static_cast<unsigned int>(length));
        } else {
            to.self->NewStr(text);
        }
    };
    va_list args;
    va_start(args, format);
    const bool formatted = UTL::detail::FormatWideTo(kFormatAreaUnits, format, args, take, &taken);
    va_end(args);
    if (!formatted) NewStr(UTL::stringc::kNoText);  // no text produced gives the empty string
    const bool tooLong = taken.tooLong;
    // Reported once the text is set.
    if (tooLong) {
        UTL::LogManagementC::Log(__FILE__, __LINE__, UTL::LogSinkI::LOG_DevMessage, "%s\n",
                                 "lwcslen( szResult ) < 4096");
    }
    return 0;
}

int StringC::Scan(const char16_t* format, ...) const {
    if (format == nullptr) return 0;
    const char16_t* text = m_pcs->Units();
    while (*text == u' ') ++text;
    va_list args;
    va_start(args, format);
    const int result = lvswscanf(text, format, args);
    va_end(args);
    return result;
}

StringC::StringC(unsigned int key1, unsigned int key2) : m_pcs(nullptr) {
    LoadTxt(key1, key2);
}

bool StringC::LoadTxt(unsigned long key1, unsigned int key2) {
    // Token keys are 32-bit values, whatever the width of unsigned long.
    const char16_t* text =
        UTL::TokenAccessorBridgeC::getToken(static_cast<std::uint32_t>(key1), key2);
    NewStr(text);
    return text != nullptr;
}
