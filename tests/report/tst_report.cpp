// The report tool's arguments, exit codes and output, and the status texts it
// shares with the window.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "model/DriveData.h"
#include "report/Report.h"
#include "TestSupport.h"
#include "model/Ata.h"
#include "model/Smart.h"
#include "model/TabStatus.h"

using namespace Applications::DriveScope;
using namespace Applications::DriveScope::Model;
using TestSupport::MemoryBackend;

namespace {
struct Run {
    int status;
    QString out, err;
};

Run report(const QStringList &args)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const int status = runReport(args, o, e);
    return {status, out, err};
}

QByteArray identifyWithChecksum(quint8 signature, bool fix)
{
    QByteArray id(512, '\0');
    id[20] = 'X';
    id[510] = char(signature);
    if (fix) {
        quint8 sum = 0;
        for (int i = 0; i < 511; ++i)
            sum += quint8(id[i]);
        id[511] = char(quint8(-sum));
    }
    return id;
}

void demoMachine(MemoryBackend &b)
{
    auto &sata = b.node("/sata");
    sata.p0().set("TYPE", {Variant::ofText("SATA")});
    sata.p0().setSet("ATA_IDENTIFY", {Variant::ofBuffer(identifyWithChecksum(0xA5, true))});
    auto &nvme = b.node("/nvme");
    nvme.p0().set("TYPE", {Variant::ofText("NVMe")});
    b.node("/plain");
    b.node("/broken").fail << "open";
    b.driveList = {{"/sata", "SATA disk", 2}, {"/nvme", "NVMe disk", 2}, {"/plain", "Plain", 2}, {"/broken", "Broken", 2}};
}
} // namespace

class TestReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void arguments_data();
    void arguments();
    void listMarksUnsupported();
    void jsonHasEveryTabOfEveryDrive();
    void textShowsStatusAndDimmedValues();
    void checksumVerdicts_data();
    void checksumVerdicts();
    void stateLines();
    void smartAttributesReadable();
    void snapshotOfTheMachine();
    void noticesOnceAfterTheReport();
};

// The snapshot holds every drive that opens, names the one that does not, and
// never writes over something that is not a regular file.
void TestReport::snapshotOfTheMachine()
{
    demoMachine(MemoryBackend::install());
    QTemporaryDir dir;
    const QString file = dir.filePath("machine.json");
    Run run = report({"--snapshot", file, "--redact"});
    QCOMPARE(run.status, 0);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
    const QJsonObject nodes = root["nodes"].toObject();
    for (const char *path : {"/sata", "/nvme", "/plain"})
        QVERIFY2(nodes.contains(path), path);
    QVERIFY(!nodes.contains("/broken"));
    QVERIFY(root["errors"].toArray().first().toString().startsWith("/broken"));

    // A device node as the output is refused and left as it was.
    QVERIFY(QFile::link("/dev/null", dir.filePath("link.json")));
    for (const QString &target : {QStringLiteral("/dev/null"), dir.filePath("link.json")}) {
        run = report({"--snapshot", target});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("is not a regular file"), qPrintable(run.err));
    }
    QVERIFY(QFileInfo("/dev/null").exists() && !QFileInfo("/dev/null").isFile());
    QVERIFY(QFileInfo(dir.filePath("link.json")).isSymLink());
}

void TestReport::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::newRow("nothing") << QStringList{} << 2;
    QTest::newRow("two modes") << QStringList{"--list", "--all"} << 2;
    QTest::newRow("drive without path") << QStringList{"--drive"} << 2;
    QTest::newRow("unknown") << QStringList{"--frobnicate"} << 2;
    QTest::newRow("help") << QStringList{"--help"} << 0;
    QTest::newRow("list") << QStringList{"--list"} << 0;
    QTest::newRow("snapshot without file") << QStringList{"--snapshot"} << 2;
    QTest::newRow("snapshot and list") << QStringList{"--snapshot", "x.json", "--list"} << 2;
    QTest::newRow("images without snapshot") << QStringList{"--all", "--with-images"} << 2;
}

void TestReport::arguments()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    demoMachine(MemoryBackend::install());
    const Run run = report(args);
    QCOMPARE(run.status, status);
    if (status == 2)
        QVERIFY(run.err.contains("Usage:"));
}

void TestReport::listMarksUnsupported()
{
    demoMachine(MemoryBackend::install());
    const Run run = report({"--list"});
    QCOMPARE(run.status, 0);
    QVERIFY(run.err.isEmpty());
    QVERIFY(run.out.contains("/sata\tSATA disk\tsupported"));
    QVERIFY(run.out.contains("/plain\tPlain\tnot supported"));
    // A drive that cannot be opened stays unmarked.
    QVERIFY(run.out.contains("/broken\tBroken\tsupported"));
}

void TestReport::jsonHasEveryTabOfEveryDrive()
{
    demoMachine(MemoryBackend::install());
    const Run run = report({"--all", "--json"});
    QCOMPARE(run.status, 0);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonArray drives = doc.object()["drives"].toArray();
    QCOMPARE(drives.size(), 4);
    const QStringList titles{"General", "Partitions", "ATA", "S.M.A.R.T.", "USB", "SCSI", "NVMe", "SD/eMMC", "PCI"};
    for (const QJsonValue &d : drives) {
        const QJsonObject tabs = d["tabs"].toObject();
        for (const QString &t : titles)
            QVERIFY2(tabs.contains(t), qPrintable(d["path"].toString() + " lacks " + t));
    }
    const QJsonObject sata = drives[0].toObject();
    QCOMPARE(sata["interfaces"].toInt(), 1);
    QCOMPARE(sata["tabs"]["ATA"]["enabled"].toBool(), true);
    QCOMPARE(sata["tabs"]["ATA"]["status"][1].toString(), QString("Checksum valid"));
    QCOMPARE(sata["tabs"]["NVMe"]["enabled"].toBool(), false);
    QCOMPARE(sata["tabs"]["NVMe"]["rows"].toArray().size(), 0);
    QCOMPARE(drives[1]["interfaces"].toInt(), 2);
    QCOMPARE(drives[1]["tabs"]["NVMe"]["enabled"].toBool(), true);

    const QJsonObject broken = drives[3].toObject();
    QCOMPARE(broken["error"].toString(), QString("Could not open drive Broken"));
    QVERIFY(run.err.contains("Could not open drive Broken"));
    QCOMPARE(broken["tabs"]["General"]["enabled"].toBool(), false);
}

// A notice the source finds while reading comes once, after the report; one it
// had from the start was already logged and is not repeated.
void TestReport::noticesOnceAfterTheReport()
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
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err.count(b.found), 1);
    QVERIFY(!run.err.contains("known from the start"));
}

void TestReport::textShowsStatusAndDimmedValues()
{
    demoMachine(MemoryBackend::install());
    const Run run = report({"--drive", "/sata"});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.startsWith("== /sata: SATA disk\n"));
    QVERIFY(run.out.contains("-- ATA [enabled]\n   status: ATA Standard: "));
    QVERIFY(run.out.contains("   status: Checksum valid [ok]"));
    QVERIFY(run.out.contains("-- S.M.A.R.T. [disabled]\n   status: DEVICE DATA NOT AVAILABLE [warning]"));
    QVERIFY(run.out.contains("-- Partitions [enabled]\n   status: SAFE DISK NOT ENABLED"));
}

void TestReport::checksumVerdicts_data()
{
    QTest::addColumn<QByteArray>("identify");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("verdict");
    QTest::newRow("valid") << identifyWithChecksum(0xA5, true) << "Checksum valid" << int(Verdict::Ok);
    QTest::newRow("invalid") << identifyWithChecksum(0xA5, false) << "Checksum invalid" << int(Verdict::Error);
    QTest::newRow("missing whatever the sum") << identifyWithChecksum(0x00, true) << "Checksum missing"
                                              << int(Verdict::Warning);
    QTest::newRow("short block") << QByteArray(10, '\0') << "Checksum missing" << int(Verdict::Warning);
}

void TestReport::checksumVerdicts()
{
    QFETCH(QByteArray, identify);
    QFETCH(QString, text);
    QFETCH(int, verdict);
    const ChecksumVerdict v = checksumVerdict(identify);
    QCOMPARE(v.text, text);
    QCOMPARE(int(v.verdict), verdict);
}

void TestReport::stateLines()
{
    // The empty record: partitions protected wording, no hosted wording anywhere.
    QCOMPARE(tabState(nullptr, Tab::Partitions, false).lines, QStringList{"SAFE DISK ENABLED"});
    QCOMPARE(tabState(nullptr, Tab::General, false).lines, QStringList{});

    DriveData nvme;
    nvme.interfaces = DriveData::Nvme | DriveData::Scsi;
    QCOMPARE(tabState(&nvme, Tab::NVMe, true).lines, QStringList{"DEVICE DATA NOT AVAILABLE, USE /S INSTEAD"});
    QCOMPARE(tabState(&nvme, Tab::NVMe, false).lines, QStringList{"DEVICE DATA NOT AVAILABLE"});
    // SCSI and PCI never use the hosted wording.
    QCOMPARE(tabState(&nvme, Tab::SCSI, true).lines, QStringList{"DEVICE DATA NOT AVAILABLE"});
    QCOMPARE(tabState(&nvme, Tab::PCI, true).lines, QStringList{"DEVICE DATA NOT AVAILABLE"});

    DriveData smart;
    smart.smart = std::make_unique<Smart>(QList<SmartAttribute>{}, true);
    TabState s = tabState(&smart, Tab::Smart, false);
    QCOMPARE(s.lines, QStringList{"Health not available"});
    QCOMPARE(int(*s.verdict), int(Verdict::Warning));
    smart.smart = std::make_unique<Smart>(QList<SmartAttribute>{SmartAttribute{}}, false);
    s = tabState(&smart, Tab::Smart, false);
    QCOMPARE(s.lines, QStringList{"Drive not healthy"});
    QCOMPARE(int(*s.verdict), int(Verdict::Error));
}

// Each attribute row gets its decoded raw value and state: an object beside the
// six-cell row in JSON, two more cells in text.
void TestReport::smartAttributesReadable()
{
    MemoryBackend &b = MemoryBackend::install();
    auto &disk = b.node("/disk").p0();
    disk.set("TYPE", {Variant::ofText("SATA")});
    disk.set("ATA_SMART_ENABLED", {Variant::ofInt(1, "ATA_SMART_ENABLED")});
    disk.set("ATA_SMART_STATUS", {Variant::ofInt(0)});
    // 0Ah spin retry count below its threshold; C2h temperature 38 (min 20, max 45).
    disk.setSet("ATA_SMART_ATTRIBUTES", {Variant::ofBuffer(QByteArray::fromHex("0a0000d4d20b0000000000df"
                                                                               "c200002626260014002d0000"))});
    b.driveList = {{"/disk", "Disk", 2}};

    const Run json = report({"--drive", "/disk", "--json"});
    const QJsonObject smart = QJsonDocument::fromJson(json.out.toUtf8())["drives"][0]["tabs"]["S.M.A.R.T."].toObject();
    QCOMPARE(smart["rows"].toArray().size(), 2);
    QCOMPARE(smart["rows"][0].toArray().size(), 6);
    QCOMPARE(smart["attributes"][0].toObject(),
             (QJsonObject{{"id", 10}, {"name", "Spin Retry Count"}, {"value", 212}, {"worst", 210}, {"threshold", 223},
                          {"raw", 11}, {"rawText", "11"}, {"state", "failing"}}));
    QCOMPARE(smart["attributes"][1]["rawText"].toString(), QString("38 \u00B0C (min 20, max 45)"));
    QCOMPARE(smart["attributes"][1]["state"].toString(), QString("ok"));

    const Run text = report({"--drive", "/disk"});
    QVERIFY2(text.out.contains("   0Ah | Spin Retry Count | 212 | 210 | 223 | 00 00 00 00 00 0B | 11 | failing\n"),
             qPrintable(text.out));
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
