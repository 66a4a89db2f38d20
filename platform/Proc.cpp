#include "platform/Proc.h"

#include "platform/Log.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// Appends `value` in decimal to `out` at `at`; returns the new end.
size_t appendDecimal(char *out, size_t at, quint64 value)
{
    return at + SysLog::formatDecimal(out + at, value);
}

// Reads up to size - 1 bytes of a small file; -1 when it cannot be opened.
ssize_t readSmallFile(const char *path, char *buffer, size_t size)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t total = 0;
    while (total + 1 < size) {
        const ssize_t got = read(fd, buffer + total, size - 1 - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        total += size_t(got);
    }
    close(fd);
    buffer[total] = '\0';
    return ssize_t(total);
}
} // namespace

quint64 Proc::current()
{
    return quint64(getpid());
}

const char *Proc::name()
{
    return program_invocation_short_name;
}

bool Proc::info(quint64 process, Info &info)
{
    char path[64] = "/proc/";
    size_t at = appendDecimal(path, 6, process);
    memcpy(path + at, "/status", 8);
    char status[4096];
    if (readSmallFile(path, status, sizeof status) < 0)
        return false;
    info = Info();
    for (const char *line = status; line && *line;) {
        if (strncmp(line, "Threads:", 8) == 0) {
            const char *p = line + 8;
            while (*p == ' ' || *p == '\t')
                ++p;
            while (*p >= '0' && *p <= '9')
                info.threads = info.threads * 10 + quint64(*p++ - '0');
            break;
        }
        line = strchr(line, '\n');
        if (line)
            ++line;
    }
    return true;
}

void Proc::exit(quint32 code)
{
    _exit(int(code));
}

quint64 Thd::current()
{
    return quint64(syscall(SYS_gettid));
}

const char *Thd::name(char *buffer, size_t size)
{
    char name[16] = {};
    if (size == 0)
        return buffer;
    if (prctl(PR_GET_NAME, name) != 0)
        name[0] = '\0';
    const size_t length = strnlen(name, sizeof name - 1);
    const size_t copied = length < size - 1 ? length : size - 1;
    memcpy(buffer, name, copied);
    buffer[copied] = '\0';
    return buffer;
}

void Mon::enter()
{
    const quint64 self = Thd::current();
    if (m_owner.load(std::memory_order_acquire) == self) {
        ++m_depth;
        return;
    }
    quint64 expected = 0;
    while (!m_owner.compare_exchange_weak(expected, self, std::memory_order_acquire)) {
        expected = 0;
        const timespec pause = {0, 1000000};
        nanosleep(&pause, nullptr);
    }
    m_depth = 1;
}

void Mon::leave()
{
    if (m_owner.load(std::memory_order_relaxed) != Thd::current())
        return;
    if (--m_depth == 0)
        m_owner.store(0, std::memory_order_release);
}

int Mon::depth() const
{
    return m_owner.load(std::memory_order_acquire) == Thd::current() ? m_depth : 0;
}
