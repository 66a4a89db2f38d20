// The report tool's arguments, exit codes and output (golden files under
// tests/expected/), the names it takes for a drive, and the status texts it
// shares with the window.
#include <QtTest>

#include "DemoTree.h"
#include "TestSupport.h"
#include "platform/Version.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/sim/SimBackend.h"
#include "report/Report.h"

using namespace Applications::DriveScope;
using namespace Applications::DriveScope::Model;
using TestSupport::MemoryBackend;

namespace {
using TestSupport::Run;

Run report(const QStringList &args)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const int status = runReport(args, o, e);
    return {status, 0, out, err};
}

void demoMachine(MemoryBackend &b)
{
    auto &sata = b.node("/sata");
    sata.p0().set("TYPE", {Variant::ofText("SATA")});
    sata.p0().setSet("ATA_IDENTIFY", {Variant::ofBuffer(DemoTree::syntheticIdentify())});
    auto &nvme = b.node("/nvme");
    nvme.p0().set("TYPE", {Variant::ofText("NVMe")});
    b.node("/plain");
    b.node("/broken").fail << "open";
    b.driveList = {
        {"/sata", "SATA disk", 2}, {"/nvme", "NVMe disk", 2}, {"/plain", "Plain", 2}, {"/broken", "Broken", 2}};
}
} // namespace

class TestReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Exit code, output and errors of each way of calling the tool, in
    // tests/expected/report/arguments.txt. The memory backend knows no kernel
    // names; a drive that cannot be opened is listed as supported.
    void arguments()
    {
        demoMachine(MemoryBackend::install());
        const QString usage = report({"--help"}).out;
        QVERIFY(usage.startsWith("Usage: drivescope-report"));
        QString out;
        for (const char *call : {"", "--list --all", "--drive", "--frobnicate", "--help", "--list", "--snapshot",
                                 "--snapshot x.json --list", "--all --with-images", "--version", "--drive /nowhere",
                                 "--drive /broken --json", "--drive /sata"}) {
            const Run run = report(QString(call).split(' ', Qt::SkipEmptyParts));
            out += QStringLiteral("=== %1: exit %2\n%3").arg(call).arg(run.exitCode).arg(run.out) +
                   QString(run.err).replace(usage, "<usage>\n").replace(QRegularExpression("(?m)^(?=.)"), "! ");
        }
        COMPARE_GOLDEN("report/arguments.txt", out.replace(programVersion(), "<version>"));
    }

    // Every drive with all nine tabs; the one that does not open says so (the
    // tabs themselves: the golden reports).
    void jsonHasEveryTabOfEveryDrive()
    {
        demoMachine(MemoryBackend::install());
        const Run run = report({"--all", "--json"});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray drives = QJsonDocument::fromJson(run.out.toUtf8())["drives"].toArray();
        QCOMPARE(drives.size(), 4);
        for (const QJsonValue &d : drives)
            QVERIFY2(d["tabs"].toObject().size() == 9, qPrintable(d["path"].toString()));
        QCOMPARE(drives[3]["error"].toString(), QString("Could not open drive Broken"));
        QVERIFY(run.err.contains("Could not open drive Broken"));
    }

    // The reports of the window tests' machine, with real IDENTIFY and S.M.A.R.T.
    // data: every line is a drive, a tab or indented (multi-line values go on
    // under their value, never at the margin).
    void goldenReports_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text") << QStringList{"--all"} << "report-demotree.txt";
        QTest::newRow("json") << QStringList{"--drive", DemoTree::Sata, "--json"} << "report-demotree-sata.json";
    }

    void goldenReports()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        SHARED_DATA_OR_RETURN(drives, "ata-drives");
        const QString shared = TestSupport::sharedTestData();
        QTemporaryDir dir;
        QVERIFY(DemoTree::write(dir.filePath("machine.json"), DemoTree::machine(shared)));
        Services::Nodes::Backend::install(Services::Nodes::Sim::createBackend(dir.filePath("machine.json")));
        const Run run = report(args);
        QCOMPARE(run.exitCode, 0);
        COMPARE_GOLDEN(expected, run.out);
        if (!args.contains("--json")) {
            for (const QString &line : run.out.split('\n', Qt::SkipEmptyParts))
                QVERIFY2(line.startsWith("== ") || line.startsWith("-- ") || line.startsWith("   "), qPrintable(line));
        }
    }

    // A drive by every name people give it; one that is not there fails.
    void driveNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        const QList<std::pair<const char *, const char *>> rows = {
            {"/devices/block/sda", "/devices/block/sda"},
            {"nvme0n1", "/devices/block/nvme0n1"},
            {"/dev/sdb", "/devices/block/sdb"},
            {"/dev/disk/by-id/ata-ACME_SSD_S123", "/devices/block/sda"},
            {"sdz", ""},
            {"/dev/sdz", ""},
            {"/dev/sda1", ""},                 // a partition
            {"/dev/disk/by-id/elsewhere", ""}, // a link out of /dev
            {"nvme0c0n1", ""},                 // a hidden multipath path
        };
        for (const auto &[name, path] : rows)
            QTest::newRow(name) << QString(name) << QString(path);
    }

    void driveNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        QTemporaryDir dev;
        QVERIFY(QDir(dev.path()).mkpath("disk/by-id"));
        for (const char *node : {"sda", "sda1", "sdb", "nvme0n1", "nvme0c0n1"}) {
            QFile f(dev.filePath(node));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QFile::link("../../sda", dev.filePath("disk/by-id/ata-ACME_SSD_S123")));
        QVERIFY(QFile::link("/etc/hostname", dev.filePath("disk/by-id/elsewhere")));
        Services::Nodes::Backend::install(
            Services::Nodes::Linux::createBackend(QStringLiteral(TESTS_DIR "/data/sysfs/synthetic/sys"), dev.path()));
        QCOMPARE(Services::Nodes::Backend::instance().drivePath(name), path);
        const Run run = report({"--drive", name});
        if (path.isEmpty()) {
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.err.contains("no drive " + name), qPrintable(run.err));
        } else {
            QVERIFY2(run.out.startsWith("== " + path + ": "), qPrintable(run.out.left(200)));
        }
    }

    // This machine's virtio disk: by its names, and in the list with its kernel name.
    void thisMachinesDrive()
    {
        if (!QFileInfo::exists("/sys/block/vda"))
            QSKIP("This machine has no virtio disk vda");
        Services::Nodes::Backend::install(Services::Nodes::Linux::createBackend());
        for (const QString &name : {QStringLiteral("vda"), QStringLiteral("/dev/vda")}) {
            const Run run = report({"--drive", name});
            QCOMPARE(run.exitCode, 0);
            QVERIFY(run.out.startsWith("== /devices/block/vda: "));
        }
        QVERIFY(report({"--list"}).out.contains("/devices/block/vda\tvda\t"));
    }

    // Each attribute row gets its decoded raw value and state: an object beside the
    // six-cell row in JSON, two more cells in text.
    void smartAttributesReadable()
    {
        // 0Ah spin retry count below its threshold; C2h temperature 38 (min 20, max 45).
        Services::Nodes::Backend::install(
            Services::Nodes::Sim::createBackend(QStringLiteral(TESTS_DIR "/data/report/smart-attributes.json")));
        const Run json = report({"--drive", "/disk", "--json"});
        const QJsonObject smart =
            QJsonDocument::fromJson(json.out.toUtf8())["drives"][0]["tabs"]["S.M.A.R.T."].toObject();
        QCOMPARE(smart["rows"][0].toArray().size(), 6);
        const QStringList text =
            report({"--drive", "/disk"}).out.split('\n').filter(QRegularExpression("^   [0-9A-F]{2}h \\| "));
        COMPARE_GOLDEN("report-smart-attributes.txt",
                       QString::fromUtf8(QJsonDocument(smart["attributes"].toArray()).toJson()) + text.join('\n') +
                           '\n');
    }

    // The snapshot holds every drive that opens, names the one that does not, and
    // never writes over something that is not a regular file.
    void snapshotOfTheMachine()
    {
        demoMachine(MemoryBackend::install());
        QTemporaryDir dir;
        const QString file = dir.filePath("machine.json");
        Run run = report({"--snapshot", file, "--redact"});
        QCOMPARE(run.exitCode, 0);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
        const QJsonObject nodes = root["nodes"].toObject();
        for (const char *path : {"/sata", "/nvme", "/plain"})
            QVERIFY2(nodes.contains(path), path);
        QVERIFY(!nodes.contains("/broken"));
        QVERIFY(root["errors"].toArray().first().toString().startsWith("/broken"));

        // A device node as the output is refused and left as it was (links: the snapshot's own test).
        run = report({"--snapshot", "/dev/null"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("is not a regular file"), qPrintable(run.err));
        QVERIFY(QFileInfo("/dev/null").exists() && !QFileInfo("/dev/null").isFile());
    }

    // A notice the source finds while reading comes once, after the report; one it
    // had from the start was already logged and is not repeated.
    void noticesOnceAfterTheReport()
    {
        struct Noting : MemoryBackend {
            Ref<Services::Nodes::Node> open(const QString &path) override
            {
                if (!notices.contains(found))
                    notices << found;
                return MemoryBackend::open(path);
            }
            QString found = QStringLiteral("Some drive data needs more rights.");
        };
        auto owned = std::make_unique<Noting>();
        Noting &b = *owned;
        Services::Nodes::Backend::install(std::move(owned));
        demoMachine(b);
        b.notices = {"known from the start"};
        const Run run = report({"--all", "--json"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err.count(b.found), 1);
        QVERIFY(!run.err.contains("known from the start"));
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
