#include "platform/ExceptionHandler.h"

#include "platform/Error.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

namespace {
using Definitions::Contexts::X86_64;

std::atomic<ExceptionHandler::Function> handlerFunction{nullptr};

constexpr int fatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
// Room for the handler, the unwinder and a few nested faults inside them.
constexpr size_t altStackSize = 256 * 1024;

void fillContext(X86_64 &context, const ucontext_t &uc)
{
    const greg_t *g = uc.uc_mcontext.gregs;
    context.rax = quint64(g[REG_RAX]);
    context.rbx = quint64(g[REG_RBX]);
    context.rcx = quint64(g[REG_RCX]);
    context.rdx = quint64(g[REG_RDX]);
    context.rdi = quint64(g[REG_RDI]);
    context.rsi = quint64(g[REG_RSI]);
    context.r8 = quint64(g[REG_R8]);
    context.r9 = quint64(g[REG_R9]);
    context.r10 = quint64(g[REG_R10]);
    context.r11 = quint64(g[REG_R11]);
    context.r12 = quint64(g[REG_R12]);
    context.r13 = quint64(g[REG_R13]);
    context.r14 = quint64(g[REG_R14]);
    context.r15 = quint64(g[REG_R15]);
    context.rbp = quint64(g[REG_RBP]);
    context.segments = quint64(g[REG_CSGSFS]);
    context.rsp = quint64(g[REG_RSP]);
    context.rip = quint64(g[REG_RIP]);
    context.flags = quint64(g[REG_EFL]);
    context.exceptionNumber = quint64(g[REG_TRAPNO]);
    context.errorCode = quint64(g[REG_ERR]);
    context.pageFaultAddress = quint64(g[REG_CR2]);
}

void onFatalSignal(int signal, siginfo_t *info, void *ucontext)
{
    if (ExceptionHandler::Function function = handlerFunction.load()) {
        X86_64 context{};
        fillContext(context, *static_cast<const ucontext_t *>(ucontext));
        function(&context);
    }
    // The handler came back (or there is none): let the default action end
    // the process. A real fault repeats when the instruction runs again; a
    // signal sent by someone else has to be raised anew.
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    if (info->si_code <= 0)
        raise(signal);
}

// The calling thread's alternate stack, with one inaccessible page below it so
// that running off its end faults instead of overwriting other memory.
struct AltStack {
    void *memory = nullptr;
    size_t length = 0;

    ~AltStack()
    {
        if (!memory)
            return;
        stack_t off = {};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(memory, length);
    }
};

thread_local AltStack threadAltStack;
} // namespace

bool ExceptionHandler::prepareThread()
{
    if (threadAltStack.memory)
        return true;
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t length = altStackSize + page;
    void *memory = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED) {
        Error::set(Error::Unsupported);
        return false;
    }
    mprotect(memory, page, PROT_NONE);
    stack_t stack = {};
    stack.ss_sp = static_cast<char *>(memory) + page;
    stack.ss_size = altStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(memory, length);
        Error::set(Error::Unsupported);
        return false;
    }
    threadAltStack.memory = memory;
    threadAltStack.length = length;
    return true;
}

bool ExceptionHandler::set(Function function)
{
    handlerFunction.store(function);
    // Without an alternate stack the handler still runs for every fault but a
    // stack overflow; that is no reason to refuse.
    prepareThread();

    struct sigaction action = {};
    action.sa_sigaction = onFatalSignal;
    // SA_NODEFER: a fault inside the handler enters it again instead of
    // killing the process silently; the handler bounds the nesting.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int signal : fatalSignals) {
        if (sigaction(signal, &action, nullptr) != 0) {
            Error::set(Error::Unsupported);
            return false;
        }
    }
    return true;
}
