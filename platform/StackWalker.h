// Walks the stack of a thread from a saved register state, frame by frame,
// without heap: the crash dump's stack trace.
#pragma once
#include "platform/ExceptionHandler.h"

#include <cstddef>

namespace Services::Binary::Client {
class StackWalker {
public:
    virtual ~StackWalker() = default;
    // Moves to the next frame; the first call gives the frame the state was
    // saved in. False when there is no further frame.
    virtual bool next() = 0;
    // Instruction pointer and frame base pointer (rbp) of the current frame.
    virtual quint64 ip() const = 0;
    virtual quint64 bp() const = 0;
};

// Walks the calling thread's own stack from `context`, which must be a state
// of this thread (the fault it is handling), with libunwind. Reads memory
// directly: a stack that is unreadable where the unwind tables point makes the
// walk fault in turn. Stops after maxFrames frames.
class LocalStackWalker final : public StackWalker {
public:
    static constexpr int maxFrames = 256;

    LocalStackWalker();
    // False when the unwinder cannot start from `context`.
    bool start(const Definitions::Contexts::X86_64 &context);
    bool next() override;
    quint64 ip() const override;
    quint64 bp() const override;

    // Lets the unwinder set itself up (tables, locks) now rather than inside
    // the first fault.
    static void prepare();

private:
    alignas(16) unsigned char m_context[1024];
    alignas(16) unsigned char m_cursor[1024];
    int m_frames = 0;
    bool m_ready = false;
};
} // namespace Services::Binary::Client
