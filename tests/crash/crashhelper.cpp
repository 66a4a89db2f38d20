// Installs the crash handler, then faults as asked:
//   crashhelper null|thread|divide|overflow|thread-overflow|nested
//               [--channel0-off] [--broken-stdout]
// "nested" faults inside the handler itself (through the log printer).
#include "crash/CrashHandler.h"
#include "platform/Log.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

namespace {
int *volatile nowhere = nullptr;
volatile int zero = 0;

// The faults are the point: the sanitizer build must not stop them first.
[[gnu::noinline]] __attribute__((no_sanitize("undefined"))) int faultOnNull()
{
    return *nowhere;
}

volatile bool keepGoing = true;

// Runs off the end of the stack; the guard page makes it fault.
[[gnu::noinline]] int recurse(int depth)
{
    volatile char frame[512];
    frame[0] = char(depth);
    return (keepGoing ? recurse(depth + 1) : 0) + frame[0];
}

[[gnu::noinline]] __attribute__((no_sanitize("undefined"))) int divideByZero(int value)
{
    return value / zero;
}

class FaultingPrinter final : public SysLogPrinter {
public:
    __attribute__((no_sanitize("undefined"))) void write(const char *, size_t) override { *nowhere = 1; }
};
} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--channel0-off") == 0)
            SysLogFilter::setState(0, false);
        if (strcmp(argv[i], "--broken-stdout") == 0) {
            // Standard output becomes a pipe nobody reads any more.
            int ends[2];
            if (pipe(ends) != 0 || dup2(ends[1], STDOUT_FILENO) < 0)
                return 3;
            close(ends[0]);
            close(ends[1]);
        }
    }
    Applications::DriveScope::installCrashHandler();
    const std::string mode = argv[1];
    if (mode == "nested") {
        static FaultingPrinter printer;
        SysLogStream::setStdOutPrinter(&printer);
    }
    if (mode == "null" || mode == "nested")
        return faultOnNull();
    if (mode == "divide")
        return divideByZero(argc);
    if (mode == "overflow")
        return recurse(0);
    if (mode == "thread" || mode == "thread-overflow") {
        std::thread([&] {
            if (mode == "thread")
                faultOnNull();
            ExceptionHandler::prepareThread();
            recurse(0);
        }).join();
        return 0;
    }
    return 2;
}
