// The process-wide handler for fatal processor exceptions: writes a crash dump
// into the log, starts "crashdump" and ends the process.
#pragma once
#include "platform/Binary.h"
#include "platform/ExceptionHandler.h"
#include "platform/StackWalker.h"
#include "platform/Sys.h"

#include <cstddef>

class SysLogPrinter;

namespace Applications::DriveScope {

// Exit codes after a fault, and when faults nest too deep inside the handler.
enum : quint32 {
    CrashExitCode = 0xFFFFFFFF,
    CrashReentryExitCode = 0xFFFFFFF6,
};

// Modules in the order they were recorded during one dump: those of the module
// list, then those found for stack frames outside every listed module.
// Fixed capacity; entries past it are not recorded.
struct ModuleHistory {
    static constexpr size_t capacity = 1024;
    quint64 base[capacity];
    quint64 size[capacity];
    const char *name[capacity];
    size_t count = 0;

    void clear() { count = 0; }
    bool record(quint64 moduleBase, quint64 moduleSize, const char *moduleName);
    // Index of the first module with base <= address < base + size, or -1.
    long find(quint64 address) const;
};

// Where a dump learns about the process. The default asks the platform; tests
// hand in made-up modules and frames.
class DumpSource {
public:
    virtual ~DumpSource() = default;
    virtual size_t modules(Binary::ModuleVisitor visit, void *user);
    // A walker over `context`, or null when none can be made. Owned by the
    // source, valid until the next call.
    virtual Services::Binary::Client::StackWalker *walker(const Definitions::Contexts::X86_64 &context);
    // Whether the machine is hosted, as installCrashHandler() learnt it;
    // false before. Takes no lock.
    virtual bool hosted();
    virtual bool addressModule(quint64 address, Sys::AddressModule &module);

private:
    Services::Binary::Client::LocalStackWalker m_walker;
};

// Installs the handler for the whole process and asks the node service (set
// up now if it was not) whether the machine is hosted; later calls do nothing.
void installCrashHandler();

// The registered handler: dumps, starts "crashdump" (unless
// DRIVESCOPE_NO_CRASHDUMP is set) and ends the process; never returns.
[[noreturn]] void crashHandler(const Definitions::Contexts::X86_64 *context);

// Writes the dump as lines to `printer`, or to standard error when it is null.
// Writes nothing for a null context. Not thread-safe: the handler calls it
// under its monitor.
void printCrashDump(const Definitions::Contexts::X86_64 *context, SysLogPrinter *printer);
void printCrashDump(const Definitions::Contexts::X86_64 *context, SysLogPrinter *printer, DumpSource &source);

} // namespace Applications::DriveScope
