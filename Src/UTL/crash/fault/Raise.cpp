// Software exceptions, raised to the calling thread's translator.
#include <exception>

#include "ThreadState.h"

namespace UTL {
namespace fault {

void RaiseException(const CONTEXT& context, DWORD code, DWORD flags, DWORD numberOfArguments,
                    const ULONG_PTR* arguments) {
    ThreadFaultState& state = ThisThread();
    if (state.depth > 0) throw NestedFaultT{};
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionFlags = flags & EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = reinterpret_cast<PVOID>(arch::ProgramCounter(context));
    if (numberOfArguments > EXCEPTION_MAXIMUM_PARAMETERS)
        numberOfArguments = EXCEPTION_MAXIMUM_PARAMETERS;
    record.NumberParameters = arguments ? numberOfArguments : 0;
    for (DWORD i = 0; i < record.NumberParameters; ++i)
        record.ExceptionInformation[i] = arguments[i];
    CONTEXT copy = context;
    EXCEPTION_POINTERS pointers = {&record, &copy};
    if (state.translator) {
        DepthGuard inside(state, 0);
        state.translator(code, &pointers);
    }
    std::terminate();  // an exception that nobody translates ends the process
}

}  // namespace fault
}  // namespace UTL
