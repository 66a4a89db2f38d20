// Process and thread facts of the running program, and the monitor the crash
// handler serialises on. Everything here is safe to call from a signal
// handler: no heap, no locks, only system calls.
#pragma once
#include <QtGlobal>

#include <atomic>
#include <cstddef>

namespace Proc {
struct Info {
    quint64 threads = 0; // threads of the process
};

quint64 current();
// The program's name as the system knows it; static storage, never null.
const char *name();
// Facts about `process` from /proc; false when it does not exist (any more).
bool info(quint64 process, Info &info);
// Ends the process at once with `code` (the system keeps its low 8 bits),
// without running exit handlers or destructors.
[[noreturn]] void exit(quint32 code);
} // namespace Proc

namespace Thd {
quint64 current();
// The calling thread's system name, at most 15 characters; written into
// `buffer` (of `size` bytes, NUL-terminated) and returned.
const char *name(char *buffer, size_t size);
} // namespace Thd

// A monitor the thread holding it may enter again. Waiting threads poll
// (with a short sleep), which keeps it usable inside a signal handler.
class Mon {
public:
    void enter();
    void leave();
    // How often the holding thread has entered it; 0 when another thread (or
    // none) holds it.
    int depth() const;

private:
    std::atomic<quint64> m_owner{0};
    int m_depth = 0;
};
