#include "crash/CrashHandler.h"

#include "platform/Log.h"
#include "platform/Nodes.h"
#include "platform/Proc.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

// Everything from the fault on runs in a signal handler: no heap, no Qt, no
// lock of the node service (whether the machine is hosted was asked at
// installation). The handler takes its monitor; the only calls that may take
// a lock besides it are the dynamic loader's, whose lock they share:
// Binary::moduleList (dl_iterate_phdr), DumpSource::addressModule through
// Sys::info(InfoAddressModule) (dladdr, dl_iterate_phdr) and the stack
// walker's step (libunwind finds unwind tables with dl_iterate_phdr). A fault
// inside the loader itself can therefore hang the dump; nothing else can.
// Text is built in a fixed buffer and handed to the printer, whose write()
// only calls write(2).

namespace Applications::DriveScope {
namespace {
using Definitions::Contexts::X86_64;

Mon crashMonitor;
std::atomic<quint64> handlerEntries{0};
std::atomic<bool> hostedAtInstallation{false};
ModuleHistory currentHistory;

constexpr const char unknownModule[] = "<UNKNOWN>";
constexpr quint64 maxNestedEntries = 15;
// "crashdump" reads our /proc entries, so the process stays until it is done.
constexpr int crashdumpTimeoutMs = 10000;

using SysLog::formatDecimal;

// One line of text in a fixed buffer; a line longer than the buffer reaches
// the printer in pieces.
class Line {
public:
    explicit Line(SysLogPrinter &printer) : m_printer(printer) {}

    Line &text(const char *text)
    {
        while (text && *text)
            put(*text++);
        return *this;
    }
    // Lower-case hexadecimal, at least `width` digits filled with '0'.
    Line &hex(quint64 value, int width = 0)
    {
        char digits[16];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value & 0xF];
            value >>= 4;
        } while (value);
        for (int i = count; i < width; ++i)
            put('0');
        while (count)
            put(digits[--count]);
        return *this;
    }
    Line &decimal(quint64 value)
    {
        char digits[24];
        digits[formatDecimal(digits, value)] = '\0';
        return text(digits);
    }
    // Ends the line and hands it to the printer.
    void end()
    {
        put('\n');
        flush();
    }

private:
    void put(char c)
    {
        if (m_length == sizeof m_buffer)
            flush();
        m_buffer[m_length++] = c;
    }
    void flush()
    {
        if (m_length)
            m_printer.write(m_buffer, m_length);
        m_length = 0;
    }

    SysLogPrinter &m_printer;
    char m_buffer[512];
    size_t m_length = 0;
};

void writeLine(SysLogPrinter &printer, const char *text)
{
    Line(printer).text(text).end();
}

struct ModuleListing {
    SysLogPrinter &printer;
    ModuleHistory &history;
};

bool listModule(const Binary::ModuleInfo &module, void *user)
{
    auto &listing = *static_cast<ModuleListing *>(user);
    const char *name = module.name ? module.name : unknownModule;
    // An empty module has no last address; show it as starting and ending at its base.
    const quint64 last = module.size ? module.base + module.size - 1 : module.base;
    Line(listing.printer).text("Module: ").hex(module.base).text(" - ").hex(last).text(": ").text(name).end();
    listing.history.record(module.base, module.size, name);
    return true;
}

struct Register {
    const char *name;
    quint64 X86_64::*field;
};

// The register dump's layout: one row per line.
constexpr Register registerRows[][3] = {
    {{"rax", &X86_64::rax}, {"r10", &X86_64::r10}, {"rsp", &X86_64::rsp}},
    {{"rbx", &X86_64::rbx}, {"r11", &X86_64::r11}, {"rbp", &X86_64::rbp}},
    {{"rcx", &X86_64::rcx}, {"r12", &X86_64::r12}, {"rsi", &X86_64::rsi}},
    {{"rdx", &X86_64::rdx}, {"r13", &X86_64::r13}, {"rdi", &X86_64::rdi}},
    {{"r8", &X86_64::r8}, {"r14", &X86_64::r14}, {nullptr, nullptr}},
    {{"r9", &X86_64::r9}, {"r15", &X86_64::r15}, {nullptr, nullptr}},
    {{"rip", &X86_64::rip}, {nullptr, nullptr}, {nullptr, nullptr}},
};

void printRegisters(const X86_64 &context, SysLogPrinter &printer)
{
    char threadName[16];
    writeLine(printer, "* Register Dump *");
    Line(printer).text("Exception in Thread ID ").hex(Thd::current()).end();
    Line(printer).text("Process ID: ").hex(Proc::current()).end();
    Line(printer).text("Process name: ").text(Proc::name()).end();
    Line(printer).text("Thread name: ").text(Thd::name(threadName, sizeof threadName)).end();
    Line(printer).text("Exception Nr: 0x").hex(context.exceptionNumber).end();
    Line(printer).text("PFA:          0x").hex(context.pageFaultAddress).end();
    writeLine(printer, "Register Dump");
    for (const auto &row : registerRows) {
        Line line(printer);
        for (const Register &r : row) {
            if (r.name)
                line.text(r.name).text(": 0x").hex(context.*r.field, 16).text(" ");
        }
        line.end();
    }
    Line(printer).text("errorCode: ").hex(context.errorCode, 8).text(" flags: ").hex(context.flags, 16).text(" ").end();
}

void printStackTrace(const X86_64 &context, SysLogPrinter &printer, DumpSource &source, ModuleHistory &history)
{
    Services::Binary::Client::StackWalker *walker = source.walker(context);
    if (!walker) {
        writeLine(printer, "Failed to create stack walk instance");
        return;
    }
    writeLine(printer, "* Print Stracktrace *");
    int hosted = -1;
    int frames = 0;
    while (walker->next()) {
        const quint64 ip = walker->ip();
        Line(printer).text(frames == 0 ? "IP: " : "FRAME IP: ").hex(ip, 16).end();
        ++frames;
        long index = history.find(ip);
        if (index < 0) {
            if (hosted < 0)
                hosted = source.hosted() ? 1 : 0;
            Sys::AddressModule found = {};
            if (hosted && source.addressModule(ip, found) && found.name && ip >= found.base &&
                ip - found.base < found.size && history.record(found.base, found.size, found.name))
                index = long(history.count - 1);
        }
        if (index >= 0) {
            const quint64 offset = ip - history.base[index];
            Line(printer).text("Module: ").text(history.name[index]).text(", Offset: ").hex(offset).end();
        }
    }
    if (frames == 1) {
        writeLine(printer, "BP not valid");
        Line(printer).text("BP: ").hex(walker->bp(), 16).end();
    }
}
} // namespace

bool ModuleHistory::record(quint64 moduleBase, quint64 moduleSize, const char *moduleName)
{
    if (count == capacity)
        return false;
    base[count] = moduleBase;
    size[count] = moduleSize;
    name[count] = moduleName;
    ++count;
    return true;
}

long ModuleHistory::find(quint64 address) const
{
    for (size_t i = 0; i < count; ++i) {
        if (address >= base[i] && address - base[i] < size[i])
            return long(i);
    }
    return -1;
}

size_t DumpSource::modules(Binary::ModuleVisitor visit, void *user)
{
    return Binary::moduleList(visit, user);
}

Services::Binary::Client::StackWalker *DumpSource::walker(const X86_64 &context)
{
    return m_walker.start(context) ? &m_walker : nullptr;
}

// Inside a fault the node service is not asked (its backend may hold a lock
// the faulting thread holds): the answer is the one of installation.
bool DumpSource::hosted()
{
    return hostedAtInstallation.load(std::memory_order_relaxed);
}

bool DumpSource::addressModule(quint64 address, Sys::AddressModule &module)
{
    return Sys::info(Sys::InfoAddressModule, reinterpret_cast<const void *>(quintptr(address)), &module) != 0;
}

void printCrashDump(const X86_64 *context, SysLogPrinter *printer, DumpSource &source)
{
    if (!context)
        return;
    SysLogFdPrinter debugOut(STDERR_FILENO); // when printCrashDump gets no printer
    SysLogPrinter &out = printer ? *printer : debugOut;

    currentHistory.clear();
    writeLine(out, "*** CRASH DUMP ***");

    writeLine(out, "* Print ModuleList *");
    ModuleListing listing{out, currentHistory};
    source.modules(listModule, &listing);

    printRegisters(*context, out);
    printStackTrace(*context, out, source, currentHistory);

    Proc::Info info;
    Line(out).text("Running Threads: ").decimal(Proc::info(Proc::current(), info) ? info.threads : 0).end();
}

void printCrashDump(const X86_64 *context, SysLogPrinter *printer)
{
    DumpSource source;
    printCrashDump(context, printer, source);
}

void crashHandler(const X86_64 *context)
{
    crashMonitor.enter();
    if (handlerEntries.fetch_add(1) + 1 > maxNestedEntries)
        Proc::exit(CrashReentryExitCode);

    // Standard output may be a pipe whose reader is gone; that must not end
    // the process before crashdump has been started.
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);

    // The dump is written whatever the log filter says.
    SysLogPrinter &printer = SysLogStream::stdOutPrinter();
    printCrashDump(context, &printer);

    if (Sys::info(Sys::InfoNoCrashDump) != 1) {
        char pid[32];
        char tid[32];
        auto format = [](char *out, const char *prefix, quint64 value) {
            const size_t at = strlen(prefix);
            memcpy(out, prefix, at);
            out[at + formatDecimal(out + at, value)] = '\0';
        };
        format(pid, "--pid=", Proc::current());
        format(tid, "--tid=", Thd::current());
        if (SysLogFilter::level() <= 4 && SysLogFilter::state(0))
            writeLine(printer, "Calling crashdump program to allow user to create a log file.");
        const char *const arguments[] = {pid, tid};
        const qint64 child = Binary::create("drivescope-crashdump", arguments, 2);
        if (child > 0)
            Binary::waitFor(child, crashdumpTimeoutMs);
    }

    handlerEntries.fetch_sub(1);
    crashMonitor.leave();
    Proc::exit(CrashExitCode);
}

void installCrashHandler()
{
    static std::atomic<bool> installed{false};
    if (installed.exchange(true))
        return;
    // Whatever sets itself up on first use does so now, not inside a fault.
    hostedAtInstallation = Services::Nodes::Backend::instance().hosted();
    SysLogStream::stdOutPrinter();
    Binary::moduleList([](const Binary::ModuleInfo &, void *) { return false; }, nullptr);
    Services::Binary::Client::LocalStackWalker::prepare();
    ExceptionHandler::set(crashHandler);
}

} // namespace Applications::DriveScope
