// What the crash reporter and the debugging-help library need to know about
// the processor: the registers of a context and of a signal, the capture of a
// caller's registers, the report's register block, frame records, the
// decoding of a faulting instruction, and how a fault is turned into a return
// to its caller. One implementation file per architecture (Arch<Name>.cpp),
// each of which compiles to nothing on other targets.
#pragma once

#include <UTL/WinServices.h>
#include <signal.h>
#include <ucontext.h>

#include <cstddef>
#include <cstdint>

namespace UTL {
namespace arch {

using Address = std::uintptr_t;

// The machine type the debugging-help library's StackWalk is called with.
extern const DWORD kMachineType;

// ---- Contexts --------------------------------------------------------------------------

Address ProgramCounter(const CONTEXT& context);
Address StackPointer(const CONTEXT& context);
Address FramePointer(const CONTEXT& context);
// Sets the three control registers, leaving the others as they are.
void SetControlRegisters(CONTEXT& context, Address pc, Address sp, Address fp);

// Every register the report shows, from a signal's machine context
// (ContextFlags CONTEXT_FULL).
void ContextFromSignal(const ucontext_t& signal, CONTEXT& context);

// The control registers of a function's caller, as that function sees them on
// entry: `returnAddress` (__builtin_return_address(0)), `callerStack`, the
// caller's stack pointer before the call (__builtin_dwarf_cfa()), and
// `frameRecord` (__builtin_frame_address(0)), whose saved frame pointer is the
// caller's. The function must keep a frame record, as the library's own code
// does. Also the code and stack segments and the flags where the processor
// has them; the other registers are zero (ContextFlags CONTEXT_CONTROL).
void CaptureCaller(CONTEXT& context, Address returnAddress, Address callerStack,
                   Address frameRecord);

// Writes the report's register block, one line or group of lines per call.
using ReportWriter = int (*)(const char* format, ...);
void WriteRegisters(const CONTEXT& context, ReportWriter write);

// ---- Frame records -----------------------------------------------------------------------

// Bytes of a frame record: the caller's frame pointer, then the return address.
constexpr std::size_t kFrameRecordSize = 2 * sizeof(void*);
constexpr std::size_t kFrameAlignment = sizeof(void*);

// The caller's frame pointer and the return address stored in the frame record
// at `frame`, which must be readable; the layout is the same on the three
// architectures. The walk has checked that the record is mapped, but it may
// lie in a stack area that AddressSanitizer keeps poisoned (a frame of code
// built without frame pointers), which is no error here.
__attribute__((no_sanitize_address)) inline void ReadFrameRecord(Address frame,
                                                                 Address& callerFrame,
                                                                 Address& returnAddress) {
    const Address* record = reinterpret_cast<const Address*>(frame);
    callerFrame = record[0];
    returnAddress = record[1];
}

// Where the function stopped at the context's instruction returns to, when it
// has not stored its frame record yet (a leaf that keeps none, the first
// instructions of any function, a call through a bad pointer): the frame
// pointer still holds its caller's record, so a walk through the records
// alone would skip the caller. The function's call frame information tells
// whether it has stored the record; the return address is then the link
// register (ARM), or the word below the CFA (x86: above the registers the
// function has pushed). Without call frame information (a call through a bad
// pointer) the link register or the word at the stack pointer is taken. The
// address must follow a call instruction (the test ReturnToCaller makes).
// False when the function has stored its record, or when that cannot be told.
bool UnsavedReturnAddress(const CONTEXT& context, Address& returnAddress);

// ---- Faults --------------------------------------------------------------------------

// The exception code and address of a fault that the signal alone does not
// give exactly: an integer division overflow, which raises the same signal as
// a division by zero, is told apart by the faulting instruction's divisor; a
// breakpoint's address is the breakpoint instruction. `code` and `address`
// come in as the signal gives them.
void RefineFault(const ucontext_t& signal, const siginfo_t& info, DWORD& code, Address& address);

// For an access violation: 0 read, 1 write, 8 execute (instruction fetch).
ULONG_PTR AccessKind(const ucontext_t& signal, const siginfo_t& info);

// The stack pointer of the interrupted code.
Address SignalStackPointer(const ucontext_t& signal);
Address SignalProgramCounter(const ucontext_t& signal);
void SetSignalProgramCounter(ucontext_t& signal, Address pc);

// Makes the interrupted code look as if the faulting function had just
// returned into its caller: for a fault right after a call through a bad
// pointer, the return address is where the call left it. The program counter
// is put inside the call instruction, where the caller's unwind information
// holds. False when there is no return address that follows a call (the
// context is then unchanged).
bool ReturnToCaller(ucontext_t& signal);

// Clears the alignment check flag (x86), which an alignment fault leaves set
// in the signal handler; nothing elsewhere. Must run before any other code of
// the handler.
void ClearAlignmentCheck();

// ---- Unwinder registers (DWARF numbering) --------------------------------------------

// Registers of a context as the DWARF unwinder numbers them, for the initial
// frame of a walk. Returns how many of `registers` were filled (from 0); `pc`
// receives the program counter when the architecture has no DWARF number for it
// (returns true then).
unsigned DwarfRegisters(const CONTEXT& context, std::uint64_t* registers, unsigned capacity,
                        std::uint64_t* pc, bool* pcSeparate);

// DWARF numbers of the stack and frame pointers and of the registers the
// unwinder restores for a caller (callee-saved), and how many there are.
extern const unsigned kDwarfStackPointer;
extern const unsigned kDwarfFramePointer;
extern const unsigned kDwarfCalleeSaved[];
extern const unsigned kDwarfCalleeSavedCount;
// Puts a callee-saved register (by DWARF number) into a context.
void SetDwarfRegister(CONTEXT& context, unsigned number, std::uint64_t value);

// ---- Running on another stack ------------------------------------------------------------

// Calls fn(arg) with the stack pointer at `top` (aligned as the ABI wants) and
// returns on the caller's stack.
void CallOnStack(void (*fn)(void*), void* arg, void* top);

}  // namespace arch
}  // namespace UTL

// The caller's control registers, captured in the function that uses this.
#define UTL_CAPTURE_CALLER(context)                                                     \
    ::UTL::arch::CaptureCaller(                                                         \
        (context), reinterpret_cast<::UTL::arch::Address>(__builtin_return_address(0)), \
        reinterpret_cast<::UTL::arch::Address>(__builtin_dwarf_cfa()),                  \
        reinterpret_cast<::UTL::arch::Address>(__builtin_frame_address(0)))
