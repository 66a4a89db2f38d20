#include "platform/StackWalker.h"

#define UNW_LOCAL_ONLY
#include <libunwind.h>

#include <cstring>
#include <ucontext.h>

using Definitions::Contexts::X86_64;
using Services::Binary::Client::LocalStackWalker;

static_assert(sizeof(unw_context_t) <= 1024, "unw_context_t does not fit its storage");
static_assert(sizeof(unw_cursor_t) <= 1024, "unw_cursor_t does not fit its storage");

namespace {
unw_context_t *contextOf(unsigned char *storage)
{
    return reinterpret_cast<unw_context_t *>(storage);
}
unw_cursor_t *cursorOf(unsigned char *storage)
{
    return reinterpret_cast<unw_cursor_t *>(storage);
}
const unw_cursor_t *cursorOf(const unsigned char *storage)
{
    return reinterpret_cast<const unw_cursor_t *>(storage);
}
} // namespace

LocalStackWalker::LocalStackWalker() = default;

bool LocalStackWalker::start(const X86_64 &context)
{
    // On x86-64 libunwind's context is a ucontext_t: fill in the saved
    // registers and start as from a signal frame, so that the first
    // instruction pointer is taken as the faulting one, not a return address.
    memset(m_context, 0, sizeof m_context);
    ucontext_t *uc = contextOf(m_context);
    greg_t *g = uc->uc_mcontext.gregs;
    g[REG_RAX] = greg_t(context.rax);
    g[REG_RBX] = greg_t(context.rbx);
    g[REG_RCX] = greg_t(context.rcx);
    g[REG_RDX] = greg_t(context.rdx);
    g[REG_RDI] = greg_t(context.rdi);
    g[REG_RSI] = greg_t(context.rsi);
    g[REG_R8] = greg_t(context.r8);
    g[REG_R9] = greg_t(context.r9);
    g[REG_R10] = greg_t(context.r10);
    g[REG_R11] = greg_t(context.r11);
    g[REG_R12] = greg_t(context.r12);
    g[REG_R13] = greg_t(context.r13);
    g[REG_R14] = greg_t(context.r14);
    g[REG_R15] = greg_t(context.r15);
    g[REG_RBP] = greg_t(context.rbp);
    g[REG_RSP] = greg_t(context.rsp);
    g[REG_RIP] = greg_t(context.rip);
    g[REG_EFL] = greg_t(context.flags);
    g[REG_CSGSFS] = greg_t(context.segments);
    m_frames = 0;
    m_ready = unw_init_local2(cursorOf(m_cursor), contextOf(m_context), UNW_INIT_SIGNAL_FRAME) == 0;
    return m_ready;
}

bool LocalStackWalker::next()
{
    if (!m_ready || m_frames >= maxFrames)
        return false;
    if (m_frames > 0 && unw_step(cursorOf(m_cursor)) <= 0) {
        m_ready = false;
        return false;
    }
    ++m_frames;
    return true;
}

quint64 LocalStackWalker::ip() const
{
    unw_word_t value = 0;
    unw_get_reg(const_cast<unw_cursor_t *>(cursorOf(m_cursor)), UNW_REG_IP, &value);
    return value;
}

quint64 LocalStackWalker::bp() const
{
    unw_word_t value = 0;
    unw_get_reg(const_cast<unw_cursor_t *>(cursorOf(m_cursor)), UNW_X86_64_RBP, &value);
    return value;
}

void LocalStackWalker::prepare()
{
    unw_context_t context;
    unw_cursor_t cursor;
    if (unw_getcontext(&context) == 0 && unw_init_local(&cursor, &context) == 0)
        unw_step(&cursor);
}
