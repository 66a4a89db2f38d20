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

X86_64 numberedContext()
{
    X86_64 c{};
    quint64 *fields = &c.rax;
    for (size_t i = 0; i < sizeof c / sizeof(quint64); ++i)
        fields[i] = 0x100 + i; // rax 100, rbx 101, ... page fault address 115
    c.exceptionNumber = 0xe;
    c.errorCode = 4;
    c.flags = 0x10246;
    return c;
}

const QString helperPath = QStringLiteral(BUILD_DIR "/tests/crash/crashhelper");
const QString crashdumpPath = QStringLiteral(BUILD_DIR "/tools/crashdump/drivescope-crashdump");

struct Run : TestSupport::Run {
    QString output;            // both channels
    QStringList fakeArguments; // empty when the fake crashdump never ran
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
        const X86_64 context = numberedContext();
        TestSupport::LogCapture printer;
        printCrashDump(&context, &printer, source);
        QString text = printer.text().split('\n', Qt::SkipEmptyParts).join('\n') + '\n';
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
            const X86_64 context = numberedContext();
            TestSupport::LogCapture printer;
            printCrashDump(&context, &printer, source);
            const QStringList lines = printer.text().split('\n', Qt::SkipEmptyParts);
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

    void faultingHelper_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("exceptionNumber");
        QTest::addColumn<int>("threads");
        QTest::addColumn<bool>("mainThread");
        const QList<std::tuple<const char *, const char *, const char *, int, bool>> rows = {
            {"null pointer on the main thread", "null", "0xe", 1, true},
            {"null pointer on a second thread", "thread", "0xe", 2, false},
            {"division by zero", "divide", "0x0", 1, true},
            // Stack overflows are reported from the alternate signal stack.
            {"stack overflow on the main thread", "overflow", "0xe", 1, true},
            {"stack overflow on a prepared thread", "thread-overflow", "0xe", 2, false},
        };
        for (const auto &[name, mode, exception, threads, mainThread] : rows)
            QTest::newRow(name) << QString(mode) << QString(exception) << threads << mainThread;
    }

    void faultingHelper()
    {
        QFETCH(QString, mode);
        QFETCH(QString, exceptionNumber);
        QFETCH(int, threads);
        QFETCH(bool, mainThread);

        const Run run = ::run(helperPath, {mode});
        QVERIFY2(run.exitCode == 255,
                 qPrintable(QStringLiteral("exit code %1:\n%2").arg(run.exitCode).arg(run.output)));
        const QStringList lines = run.output.split('\n', Qt::SkipEmptyParts);
        const QString firstModule = lines.value(lines.indexOf(QStringLiteral("* Print ModuleList *")) + 1);
        QVERIFY2(firstModule.endsWith(QLatin1String("/crashhelper")), qPrintable(run.output));
        QVERIFY(lines.contains("Process ID: " + QString::number(run.pid, 16)));
        QVERIFY(lines.contains("Process name: crashhelper"));
        QVERIFY(lines.contains("Exception Nr: " + exceptionNumber));
        if (mode == QLatin1String("null") || mode == QLatin1String("thread"))
            QVERIFY(lines.contains(QStringLiteral("PFA:          0x0")));
        QVERIFY(!lines.filter(QRegularExpression(QStringLiteral("^rip: 0x[0-9a-f]{16}"))).isEmpty());

        // The faulting function sits in the helper itself; the walk goes on past it.
        const qsizetype from = lines.indexOf(QStringLiteral("* Print Stracktrace *"));
        const QStringList trace =
            lines.mid(from + 1, lines.indexOf(QRegularExpression("^Running Threads: ")) - from - 1);
        QVERIFY2(trace.size() >= 4, qPrintable(trace.join('\n')));
        QVERIFY2(QRegularExpression(QStringLiteral("^Module: .*/crashhelper, Offset: [0-9a-f]+$"))
                     .match(trace[1])
                     .hasMatch(),
                 qPrintable(trace.join('\n')));
        QVERIFY(!trace.filter(QStringLiteral("FRAME IP: ")).isEmpty());
        QVERIFY(lines.contains("Running Threads: " + QString::number(threads)));
        QVERIFY(lines.contains(QStringLiteral("Calling crashdump program to allow user to create a log file.")));

        // The fake crashdump got this process and the faulting thread, as the dump names it.
        bool ok = false;
        const qint64 tid =
            lines.filter(QStringLiteral("Exception in Thread ID ")).value(0).section(' ', -1).toLongLong(&ok, 16);
        QVERIFY(ok);
        QCOMPARE(tid == run.pid, mainThread);
        QCOMPARE(run.fakeArguments,
                 QStringList({"--pid=" + QString::number(run.pid), "--tid=" + QString::number(tid)}));
    }

    void helperVariants_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("dumped");
        QTest::addColumn<bool>("announced"); // the log line before the crashdump program starts
        QTest::addColumn<int>("crashdumpArguments");

        QTest::newRow("crashdump switched off")
            << QStringList{"null"} << QStringList{"DRIVESCOPE_NO_CRASHDUMP=1"} << 255 << true << false << 0;
        QTest::newRow("log channel off still dumps")
            << QStringList{"null", "--channel0-off"} << QStringList{} << 255 << true << false << 2;
        QTest::newRow("broken standard output")
            << QStringList{"null", "--broken-stdout"} << QStringList{} << 255 << false << false << 2;
        // Every dump faults in the printer: the sixteenth nested entry gives up.
        QTest::newRow("nested faults end") << QStringList{"nested"} << QStringList{} << 0xF6 << false << false << 0;
    }

    void helperVariants()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(bool, dumped);
        QFETCH(bool, announced);
        const Run run = ::run(helperPath, arguments, environment);
        QTEST(run.exitCode, "exitCode");
        if (dumped)
            QVERIFY2(run.output.contains(QLatin1String("*** CRASH DUMP ***")) &&
                         run.output.contains(QLatin1String("Running Threads: 1")),
                     qPrintable(run.output));
        QCOMPARE(run.output.contains(QLatin1String("Calling crashdump program")), announced);
        QTEST(int(run.fakeArguments.size()), "crashdumpArguments");
    }

    // An installed program finds the real crashdump in libexec/drivescope/ without
    // PATH; the handler waits for it, so it still finds the process alive and
    // writes its log: the process, its command line, threads and maps.
    void installedCrashdumpWritesLog()
    {
        QTemporaryDir installed, state;
        QVERIFY(QDir(installed.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QDir(installed.path()).mkpath(QStringLiteral("libexec/drivescope")));
        const QString program = installed.filePath(QStringLiteral("bin/crashhelper"));
        QVERIFY(QFile::copy(helperPath, program));
        QVERIFY(QFile::copy(crashdumpPath, installed.filePath("libexec/drivescope/drivescope-crashdump")));
        const Run run = ::run(program, {QStringLiteral("null")},
                              {"XDG_STATE_HOME=" + state.path(), QStringLiteral("PATH=/usr/bin:/bin")});
        QCOMPARE(run.exitCode, 255);
        const QString path = run.output.section(QStringLiteral("Crash log written to "), 1).section('\n', 0, 0);
        QVERIFY2(path.startsWith(state.path()), qPrintable(run.output));
        QFile log(path);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
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
        QFile log(run.output.section(QStringLiteral("Crash log written to "), 1).trimmed());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("The process has already ended"));
    }
};

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
