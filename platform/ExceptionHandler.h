// Fatal processor exceptions (SIGSEGV, SIGBUS, SIGILL, SIGFPE) handed to one
// process-wide function together with the faulting thread's registers.
#pragma once
#include <QtGlobal>

namespace Definitions::Contexts {
// The faulting thread's state, in the field order the crash dump reads it.
struct X86_64 {
    quint64 rax, rbx, rcx, rdx, rdi, rsi, r8, r9, r10, r11, r12, r13, r14, r15, rbp;
    quint64 segments; // cs, gs, fs and ss packed as the kernel saves them
    quint64 rsp, rip, flags;
    quint64 exceptionNumber; // the processor's trap number
    quint64 errorCode;
    quint64 pageFaultAddress;
};
} // namespace Definitions::Contexts

namespace ExceptionHandler {
using Function = void (*)(const Definitions::Contexts::X86_64 *context);

// Registers `function` for the four fatal signals and gives the calling thread
// an alternate signal stack, so that a stack overflow there is still reported.
// Other threads run the function on their own stack unless they call
// prepareThread(); a stack overflow on such a thread ends the process without
// a report. The function is called with the signal's own state; if it returns,
// the signal's default action ends the process. Nested faults inside the
// function enter it again (the signal is not blocked while it runs).
// False (with Error::get()) when the signal actions cannot be set.
bool set(Function function);

// Gives the calling thread its own alternate signal stack (idempotent). The
// stack is freed when the thread ends.
bool prepareThread();
} // namespace ExceptionHandler
