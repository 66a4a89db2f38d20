// The crash dump's layout on made-up modules and frames, the handler in a real
// faulting process, and the crashdump program.
#include "TestSupport.h"
#include "crash/CrashHandler.h"
#include "platform/Log.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Applications::DriveScope;
using Definitions::Contexts::X86_64;

namespace {
// Modules, frames and the hosted lookup as a test sets them; it walks its own frames.
class FakeSource : public DumpSource, public Services::Binary::Client::StackWalker {
public:
    QList<Binary::ModuleInfo> moduleInfos;
    QList<quint64> ips;
    quint64 base = 0;
    bool hasWalker = true;
    bool isHosted = false;
    Sys::AddressModule hostedModule = {nullptr, 0, 0};
    int addressQueries = 0;
    int at = -1;

    size_t modules(Binary::ModuleVisitor visit, void *user) override
    {
        for (const auto &module : moduleInfos)
            visit(module, user);
        return size_t(moduleInfos.size());
    }
    Services::Binary::Client::StackWalker *walker(const X86_64 &) override
    {
        at = -1;
        return hasWalker ? this : nullptr;
    }
    bool next() override { return ++at < ips.size(); }
    quint64 ip() const override { return ips.value(at); }
    quint64 bp() const override { return base; }
    bool hosted() override { return isHosted; }
    bool addressModule(quint64, Sys::AddressModule &module) override
    {
        ++addressQueries;
        if (hostedModule.name)
            module = hostedModule;
        return hostedModule.name != nullptr;
    }
};

// The dump of a context numbered field by field (rax 100, rbx 101, ... page
// fault address 115), one line each.
QStringList dump(FakeSource &source)
{
    X86_64 c{};
    quint64 *fields = &c.rax;
    for (size_t i = 0; i < sizeof c / sizeof(quint64); ++i)
        fields[i] = 0x100 + i;
    c.exceptionNumber = 0xe;
    c.errorCode = 4;
    c.flags = 0x10246;
    TestSupport::LogCapture printer;
    printCrashDump(&c, &printer, source);
    return printer.text().split('\n', Qt::SkipEmptyParts);
}

const QString helperPath = QStringLiteral(BUILD_DIR "/tests/crash/crashhelper");
const QString crashdumpPath = QStringLiteral(BUILD_DIR "/tools/crashdump/drivescope-crashdump");

struct Run : TestSupport::Run {
    QString output;            // both channels
    QStringList fakeArguments; // empty when the fake crashdump never ran

    // The log the real crashdump program says it wrote.
    QString log() const
    {
        QFile f(output.section(QStringLiteral("Crash log written to "), 1).section('\n', 0, 0));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

// Runs `program` with `environment` added; a fake "drivescope-crashdump" that
// records its arguments comes first in PATH unless PATH is given.
Run run(const QString &program, const QStringList &arguments, const QStringList &environment = {})
{
    Run result;
    QTemporaryDir bin;
    if (!TestSupport::writeScript(bin.filePath(QStringLiteral("drivescope-crashdump")),
                                  "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/arguments\"\n"))
        return result;
    static_cast<TestSupport::Run &>(result) = TestSupport::run(
        program, arguments,
        QStringList{"DRIVESCOPE_NO_CRASHDUMP", "PATH=" + bin.path() + ':' + qEnvironmentVariable("PATH")} +
            environment);
    result.output = result.out + result.err;
    QFile recorded(bin.filePath(QStringLiteral("arguments")));
    if (recorded.open(QIODevice::ReadOnly))
        result.fakeArguments = QString::fromUtf8(recorded.readAll()).split('\n', Qt::SkipEmptyParts);
    return result;
}
} // namespace

class TestCrash : public QObject {
    Q_OBJECT

private slots:
    // The values of this process are checked on the faulting helper below.
    void dumpLayout()
    {
        FakeSource source;
        source.moduleInfos = {{"/lib/first.so", 0x1000, 0x2000}, {nullptr, 0x7f0000000000, 0x10}};
        source.ips = {0x500, 0x1800, 0x7f000000000f, 0x3000};
        QString text = dump(source).join('\n') + '\n';
        const QRegularExpression live("^(Exception in Thread ID|Process \\w+:|Thread name:|Running Threads:) .*$",
                                      QRegularExpression::MultilineOption);
        COMPARE_GOLDEN("crash/dump.txt", text.replace(live, "\\1 <this process>"));
    }

    // The stack part of the dump (from the line after the registers up to "Running
    // Threads") and the hosted module lookups for each case, kept in
    // tests/expected/crash/stack-traces.txt. A module found for the first frame is
    // recorded and serves the second; one not holding the address is asked again.
    void stackTrace()
    {
        struct Case {
            const char *name;
            bool hasWalker, hosted;
            quint64 foundBase; // of the module the hosted lookup answers
            QList<quint64> ips;
        };
        const QList<quint64> two{0x40010, 0x40020};
        const QList<Case> cases{
            {"no walker", false, false, 0, two},
            {"no frame", true, false, 0, {}},
            {"one frame", true, false, 0, {0x40010}},
            {"not hosted: no lookup, no module line", true, false, 0x40000, two},
            {"hosted: found once, used twice", true, true, 0x40000, two},
            {"hosted: answer not holding the address", true, true, 0x50000, two},
        };
        QString out;
        for (const Case &c : cases) {
            FakeSource source;
            source.hasWalker = c.hasWalker;
            source.isHosted = c.hosted;
            source.hostedModule = {"/hosted/lib.so", c.foundBase, 0x1000};
            source.ips = c.ips;
            source.base = 0xdeadbeef;
            const QStringList lines = dump(source);
            const qsizetype afterRegisters = lines.indexOf(QRegularExpression(QStringLiteral("errorCode: .*"))) + 1;
            QVERIFY(afterRegisters > 0 && lines.last().startsWith(QLatin1String("Running Threads: ")));
            out += QStringLiteral("=== %1: %2 lookups\n").arg(QLatin1String(c.name)).arg(source.addressQueries) +
                   lines.mid(afterRegisters, lines.size() - afterRegisters - 1).join('\n') + '\n';
        }
        COMPARE_GOLDEN("crash/stack-traces.txt", out);
    }

    // Whether the machine is hosted is asked at installation; inside a fault the
    // dump asks nobody (the faulting thread may hold the backend's lock).
    void hostedIsAskedAtInstallation()
    {
        DumpSource source;
        QVERIFY(!source.hosted());
        TestSupport::MemoryBackend::install().isHosted = true;
        installCrashHandler();
        QVERIFY(source.hosted());
        TestSupport::MemoryBackend::install().isHosted = false;
        QVERIFY(source.hosted());
    }

    // A real fault in the helper: the dump of this process and thread (none where
    // standard output is gone or every dump faults again), the log line before the
    // crashdump program starts and what that program is given.
    void faultingHelper_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("exceptionNumber"); // empty: no dump
        QTest::addColumn<int>("threads");             // 2: the fault is on the second
        QTest::addColumn<bool>("announced");
        QTest::addColumn<int>("crashdumpArguments");
        // name, arguments, environment, exit code, exception number, threads, announced, crashdump arguments
        const QList<std::tuple<const char *, const char *, const char *, int, const char *, int, bool, int>> rows{
            {"null pointer on the main thread", "null", "", 255, "0xe", 1, true, 2},
            {"null pointer on a second thread", "thread", "", 255, "0xe", 2, true, 2},
            {"division by zero", "divide", "", 255, "0x0", 1, true, 2},
            // Stack overflows are reported from the alternate signal stack.
            {"stack overflow on the main thread", "overflow", "", 255, "0xe", 1, true, 2},
            {"stack overflow on a prepared thread", "thread-overflow", "", 255, "0xe", 2, true, 2},
            {"crashdump switched off", "null", "DRIVESCOPE_NO_CRASHDUMP=1", 255, "0xe", 1, false, 0},
            {"log channel off still dumps", "null --channel0-off", "", 255, "0xe", 1, false, 2},
            {"broken standard output", "null --broken-stdout", "", 255, "", 1, false, 2},
            // Every dump faults in the printer: the sixteenth nested entry gives up.
            {"nested faults end", "nested", "", 0xF6, "", 1, false, 0},
        };
        for (const auto &[name, arguments, environment, exitCode, exception, threads, announced, crashdump] : rows)
            QTest::newRow(name) << QString(arguments).split(' ') << QString(environment).split(' ', Qt::SkipEmptyParts)
                                << exitCode << QString(exception) << threads << announced << crashdump;
    }

    void faultingHelper()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(QString, exceptionNumber);
        QFETCH(int, threads);
        QFETCH(int, crashdumpArguments);
        QFETCH(int, exitCode);
        const Run run = ::run(helperPath, arguments, environment);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.output));
        QTEST(run.output.contains("Calling crashdump program to allow user to create a log file."), "announced");
        QCOMPARE(run.fakeArguments.size(), crashdumpArguments);
        QCOMPARE(run.output.contains("*** CRASH DUMP ***"), !exceptionNumber.isEmpty());
        if (exceptionNumber.isEmpty())
            return;
        const QStringList lines = run.output.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.value(lines.indexOf("* Print ModuleList *") + 1).endsWith("/crashhelper"),
                 qPrintable(run.output));
        for (const QString &line :
             {"Process ID: " + QString::number(run.pid, 16), QStringLiteral("Process name: crashhelper"),
              "Exception Nr: " + exceptionNumber, "Running Threads: " + QString::number(threads)})
            QVERIFY2(lines.contains(line), qPrintable(line));
        if (arguments.first() == QLatin1String("null") || arguments.first() == QLatin1String("thread"))
            QVERIFY(lines.contains(QStringLiteral("PFA:          0x0")));
        QVERIFY(!lines.filter(QRegularExpression(QStringLiteral("^rip: 0x[0-9a-f]{16}"))).isEmpty());

        // The faulting function sits in the helper itself; the walk goes on past it.
        const qsizetype from = lines.indexOf(QStringLiteral("* Print Stracktrace *"));
        const QStringList trace =
            lines.mid(from + 1, lines.indexOf(QRegularExpression("^Running Threads: ")) - from - 1);
        QVERIFY2(trace.size() >= 4, qPrintable(trace.join('\n')));
        QVERIFY2(trace.value(1).contains(QRegularExpression("^Module: .*/crashhelper, Offset: [0-9a-f]+$")),
                 qPrintable(trace.join('\n')));
        QVERIFY(!trace.filter(QStringLiteral("FRAME IP: ")).isEmpty());

        // The fake crashdump got this process and the faulting thread, as the dump names it.
        bool ok = false;
        const qint64 tid =
            lines.filter(QStringLiteral("Exception in Thread ID ")).value(0).section(' ', -1).toLongLong(&ok, 16);
        QVERIFY(ok);
        QCOMPARE(tid == run.pid, threads == 1);
        if (crashdumpArguments)
            QCOMPARE(run.fakeArguments,
                     QStringList({"--pid=" + QString::number(run.pid), "--tid=" + QString::number(tid)}));
    }

    // An installed program finds the real crashdump in libexec/drivescope/ without
    // PATH; the handler waits for it, so it still finds the process alive and
    // writes its log: the process, its command line, threads and maps.
    void installedCrashdumpWritesLog()
    {
        QTemporaryDir installed, state;
        QVERIFY(QDir(installed.path()).mkpath("bin") && QDir(installed.path()).mkpath("libexec/drivescope"));
        const QString program = installed.filePath(QStringLiteral("bin/crashhelper"));
        QVERIFY(QFile::copy(helperPath, program));
        QVERIFY(QFile::copy(crashdumpPath, installed.filePath("libexec/drivescope/drivescope-crashdump")));
        const Run run = ::run(program, {QStringLiteral("null")},
                              {"XDG_STATE_HOME=" + state.path(), QStringLiteral("PATH=/usr/bin:/bin")});
        QCOMPARE(run.exitCode, 255);
        QVERIFY2(run.output.contains("Crash log written to " + state.path()), qPrintable(run.output));
        const QString text = run.log();
        QVERIFY(text.contains(QStringLiteral("Crash report of process %1, thread %1").arg(run.pid)));
        QVERIFY2(text.contains("Command line: " + program + " null\n"), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("--- Thread status ---")));
        // Maps lines of the helper's own image.
        QVERIFY(text.contains(QRegularExpression("[0-9a-f]+-[0-9a-f]+ r-xp .*" + QRegularExpression::escape(program))));
    }

    void crashdumpUsage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        for (const char *arguments :
             {"", "--pid=12", "--tid=12", "--pid=12x --tid=12", "--pid=0 --tid=12", "--pid=-5 --tid=12",
              "--pid= --tid=12", "--pid=12 --pid=13 --tid=12", "--pid=12 --tid=12 --verbose"})
            QTest::newRow(qPrintable(QString("[%1]").arg(arguments)))
                << QString(arguments).split(' ', Qt::SkipEmptyParts);
    }

    void crashdumpUsage()
    {
        QFETCH(QStringList, arguments);
        QTemporaryDir state;
        const Run run = ::run(crashdumpPath, arguments, {"XDG_STATE_HOME=" + state.path()});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.output.contains("Usage: crashdump --pid="));
        QVERIFY(!QFileInfo::exists(state.filePath(QStringLiteral("drivescope"))));
    }

    void crashdumpEndedProcess()
    {
        QProcess shortLived;
        shortLived.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
        QVERIFY(shortLived.waitForFinished());
        const qint64 ended = shortLived.readAllStandardOutput().trimmed().toLongLong();
        QVERIFY(ended > 0);
        if (QFileInfo::exists(QStringLiteral("/proc/%1").arg(ended)))
            QSKIP("the process id was taken again already");
        QTemporaryDir state;
        const Run run = ::run(crashdumpPath, {"--pid=" + QString::number(ended), "--tid=" + QString::number(ended)},
                              {"XDG_STATE_HOME=" + state.path()});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.log().contains("The process has already ended"), qPrintable(run.output));
    }
};

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
