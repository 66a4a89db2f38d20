// Which tabs a drive gets, the validity checks on its S.M.A.R.T. and IDENTIFY
// data, the safe-disk test and the drive support test; plus the node helpers.
#include <QtTest>

#include "DemoTree.h"
#include "TestSupport.h"
#include "model/Acquisition.h"
#include "model/Ata.h"
#include "model/NodeUtils.h"
#include "model/Smart.h"
#include "platform/Error.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

namespace {
using DemoTree::attributeRecord;

// A SATA drive with S.M.A.R.T. enabled and IDENTIFY data.
TestSupport::MemoryNode &ataDrive(MemoryBackend &b, const QString &path, const QByteArray &identify,
                                  const QByteArray &attributes, quint64 status = 1)
{
    auto &n = b.node(path);
    n.p0().set("TYPE", {Variant::ofText("SATA")});
    n.p0().set("ATA_SMART_ENABLED", {Variant::ofInt(1, "ATA_SMART_ENABLED")});
    n.p0().set("ATA_SMART_STATUS", {Variant::ofInt(status)});
    n.p0().setSet("ATA_SMART_ATTRIBUTES", {Variant::ofBuffer(attributes)});
    n.p0().setSet("ATA_IDENTIFY", {Variant::ofBuffer(identify)});
    return n;
}
} // namespace

class TestAcquisition : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { Error::set(0); }
    void interfacesAndModels_data();
    void interfacesAndModels();
    void smartAndIdentifyChecks_data();
    void smartAndIdentifyChecks();
    void openFailure();
    void safeDisk();
    void supportTest_data();
    void supportTest();
    void nodeHelpers();
};

void TestAcquisition::interfacesAndModels_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("scsiSet"); // -1: property absent
    QTest::addColumn<QStringList>("sets");
    QTest::addColumn<quint32>("interfaces");
    QTest::addColumn<QString>("models"); // letters of the models built

    // g General, p Partitions, n NVMe, u USB, c SD/eMMC, s SCSI
    QTest::newRow("nvme with scsi provider") << "NVMe" << 3 << QStringList{} << 0x0Au << "gpns";
    QTest::newRow("usb") << "USB" << -1 << QStringList{} << 0x04u << "gpu";
    QTest::newRow("card") << "CARD" << 0 << QStringList{} << 0x10u << "gpc";
    QTest::newRow("type is case sensitive") << "nvme" << -1 << QStringList{} << 0x00u << "gp";
    QTest::newRow("vpd set without scsi property") << "SAS" << 0 << QStringList{"GET_SCSI_VPDS"} << 0x08u << "gps";
    QTest::newRow("scsi property and set give one model")
        << "SAS" << 1 << QStringList{"GET_SCSI_INQUIRY"} << 0x08u << "gps";
    QTest::newRow("nothing known") << "" << -1 << QStringList{"OTHER"} << 0x00u << "gp";
}

void TestAcquisition::interfacesAndModels()
{
    QFETCH(QString, type);
    QFETCH(int, scsiSet);
    QFETCH(QStringList, sets);
    QFETCH(quint32, interfaces);
    QFETCH(QString, models);

    auto &b = MemoryBackend::install();
    auto &n = b.node("/d");
    if (!type.isEmpty())
        n.p0().set("TYPE", {Variant::ofText(type)});
    if (scsiSet >= 0)
        n.p0().set("NODE_SET_SCSI", {Variant::ofInt(quint64(scsiSet))});
    for (const QString &s : sets)
        n.p0().setSet(s, {Variant::ofText("x")});

    Acquisition acquisition;
    auto data = acquisition.acquireDrive("/d", "Disk");
    QVERIFY(data);
    QCOMPARE(data->name, QString("Disk"));
    QCOMPARE(data->interfaces, interfaces);
    const QList<std::pair<bool, char>> kinds = {{bool(data->general), 'g'}, {bool(data->partitions), 'p'},
                                                {bool(data->nvme), 'n'},    {bool(data->usb), 'u'},
                                                {bool(data->sdemmc), 'c'},  {bool(data->scsi), 's'}};
    QString built;
    for (const auto &[present, letter] : kinds)
        built += present ? QString(letter) : QString();
    QCOMPARE(built, models);
    QVERIFY(!data->ata && !data->smart);
}

void TestAcquisition::smartAndIdentifyChecks_data()
{
    QTest::addColumn<QByteArray>("identify");
    QTest::addColumn<QByteArray>("attributes");
    QTest::addColumn<quint64>("status");
    QTest::addColumn<bool>("ata");
    QTest::addColumn<int>("attributeCount"); // -1: no Smart model
    QTest::addColumn<bool>("healthy");
    QTest::addColumn<QString>("message");

    const QByteArray id512(512, 'A');
    const QByteArray two = attributeRecord(5, 100, 99, 0x112233445566ull, 10) + attributeRecord(194, 40, 30, 0x28, 0);
    QTest::newRow("complete") << id512 << two << 1ull << true << 2 << true << "";
    QTest::newRow("identify 511") << QByteArray(511, 'A') << two << 1ull << false << 2 << true
                                  << "Invalid data returned for IDENTIFY; size: 511; node: /d";
    QTest::newRow("attributes 30 bytes") << id512 << QByteArray(30, '\1') << 1ull << true << 0 << true
                                         << "Data is not a multiple of attribute size: 30";
    QTest::newRow("failing health") << id512 << two << 0ull << true << 2 << false << "";
    QTest::newRow("status 2 is not healthy") << id512 << two << 2ull << true << 2 << false << "";
}

void TestAcquisition::smartAndIdentifyChecks()
{
    QFETCH(QByteArray, identify);
    QFETCH(QByteArray, attributes);
    QFETCH(quint64, status);
    QFETCH(bool, ata);
    QFETCH(int, attributeCount);
    QFETCH(bool, healthy);
    QFETCH(QString, message);

    auto &b = MemoryBackend::install();
    ataDrive(b, "/d", identify, attributes, status);
    TestSupport::MessageCapture messages;
    Acquisition acquisition;
    auto data = acquisition.acquireDrive("/d", "Disk");
    QVERIFY(data);
    QCOMPARE(data->interfaces, 0x01u);
    QCOMPARE(bool(data->ata), ata);
    if (ata)
        QCOMPARE(data->ata->identify(), identify);
    QCOMPARE(bool(data->smart), attributeCount >= 0);
    if (data->smart) {
        QCOMPARE(data->smart->attributes().size(), attributeCount);
        QCOMPARE(data->smart->healthy(), healthy);
    }
    if (!message.isEmpty())
        QVERIFY2(messages.contains(message), qPrintable(messages.all().join('\n')));
    if (attributeCount == 2) // the records as decoded from the set, in order
        QCOMPARE(data->smart->attributes()[1].raw, 0x28ull);
}

void TestAcquisition::openFailure()
{
    auto &b = MemoryBackend::install();
    b.node("/broken").fail << "generic";
    TestSupport::MessageCapture messages;
    Acquisition acquisition;
    QVERIFY(!acquisition.acquireDrive("/broken", "x"));
    QVERIFY(messages.contains("Could not create generic interface for node /broken"));
    QVERIFY(!acquisition.acquireDrive("/missing", "x"));
    // The log line reads as written: no blank before the semicolon.
    QVERIFY(messages.contains("Could not open node /missing; error: "));

    // S.M.A.R.T. switched off or not offered costs only the Smart model.
    auto &n = ataDrive(b, "/off", QByteArray(512, 0), attributeRecord(1, 1, 1, 1, 1));
    n.p0().set("ATA_SMART_ENABLED", {Variant::ofInt(1)}); // unnamed element: not enabled
    auto data = acquisition.acquireDrive("/off", "x");
    QVERIFY(data && data->ata && !data->smart);
    QVERIFY(messages.contains("S.M.A.R.T. is not enabled: /off"));
}

void TestAcquisition::safeDisk()
{
    auto &b = MemoryBackend::install();
    b.node("/disk0").canonical = "sata0";
    b.node("/alias").canonical = "sata0";
    b.node("/disk1");
    auto &vs = b.node("/devices/vsctrl");
    vs.p0().set("STATUS", {Variant::ofText("ON")});
    vs.p0().set("NODES", {Variant::ofList({Variant::ofText("/gone"), Variant::ofText("/alias")})});

    Acquisition acquisition;
    QVERIFY(acquisition.isVolumeServerOn());
    QVERIFY(acquisition.isSafeDisk("/disk0")); // protected through another path of the same device
    QVERIFY(!acquisition.isSafeDisk("/disk1"));
    QVERIFY(!acquisition.acquireDrive("/disk0", "d")->partitions);
    QVERIFY(acquisition.acquireDrive("/disk1", "d")->partitions);

    Acquisition off;
    vs.p0().set("STATUS", {Variant::ofText("OFF")});
    QVERIFY(!off.isSafeDisk("/disk0"));
    QVERIFY(off.acquireDrive("/disk0", "d")->partitions);

    Acquisition none;
    b.nodes.remove("/devices/vsctrl");
    QVERIFY(!none.isVolumeServerOn());
}

void TestAcquisition::supportTest_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("scsiProvider");
    QTest::addColumn<QString>("set");
    QTest::addColumn<bool>("supported");

    QTest::newRow("card only") << "CARD" << -1 << "" << true;
    QTest::newRow("identify set") << "" << -1 << "ATA_IDENTIFY" << true;
    QTest::newRow("scsi provider that opens") << "" << 1 << "" << true;
    QTest::newRow("scsi provider that does not open") << "" << 7 << "" << false;
    QTest::newRow("nothing") << "VIRTUAL" << -1 << "OTHER" << false;
}

void TestAcquisition::supportTest()
{
    QFETCH(QString, type);
    QFETCH(int, scsiProvider);
    QFETCH(QString, set);
    QFETCH(bool, supported);

    auto &b = MemoryBackend::install();
    auto &n = b.node("/d");
    n.providers[1];
    if (!type.isEmpty())
        n.p0().set("TYPE", {Variant::ofText(type)});
    if (scsiProvider >= 0)
        n.p0().set("NODE_SET_SCSI", {Variant::ofInt(quint64(scsiProvider))});
    if (!set.isEmpty())
        n.p0().setSet(set, {});
    TestSupport::LogCapture log;
    Acquisition acquisition;
    bool opened = false;
    QCOMPARE(acquisition.isDriveSupported("/d", &opened), supported);
    QVERIFY(opened);
    QCOMPARE(log.contains("Drive is not suported: /d"), !supported);
    // A node that does not open stays unmarked.
    QVERIFY(acquisition.isDriveSupported("/nowhere", &opened));
    QVERIFY(!opened);
}

void TestAcquisition::nodeHelpers()
{
    auto &b = MemoryBackend::install();
    b.node("/d").p0().set("N", {Variant::ofInt(42)});
    b.node("/bare");
    TestSupport::LogCapture log;

    QVERIFY(!openGeneric("/nowhere", 0, false)); // "not found" stays what it is
    QCOMPARE(Error::get(), quint32(Error::NotFound));
    QVERIFY(log.text().isEmpty());
    QVERIFY(!openGeneric("/d", 5, true));
    QVERIFY(log.contains("Failed to create node provider for /d @ 5; error: "));
    QVERIFY(log.contains("[Utils] 4:"));

    auto generic = openGeneric("/d", 0, true);
    QVERIFY(generic);
    QVERIFY(hasProperty(generic, "N"));
    QVERIFY(!hasProperty(generic, "n"));
    QCOMPARE(Error::get(), 0x10001u);
    QVERIFY(!hasProperty(openGeneric("/bare", 0, false), "N"));
    QCOMPARE(Error::get(), 0x10001u);
    QVERIFY(!hasProperty(nullptr, "N"));
    QCOMPARE(Error::get(), 0x8446u);

    QCOMPARE(valueText(generic->read("N")), QString("42"));
    QVERIFY(valueText({}).isNull());
    QCOMPARE(valueText({Variant::ofText("abc")}), QString("abc"));

    Ref<Interfaces::Storage> storage;
    Ref<Interfaces::Lockable> lockable;
    QVERIFY(!openStorage("/bare", storage, lockable));
    QVERIFY(log.contains("Failed to create storage provider for /bare"));
    b.node("/img").blockSize = 512;
    b.node("/img").blockCount = 8;
    b.node("/img").fail << "lockable";
    QVERIFY(!openStorage("/img", storage, lockable));
    QVERIFY(storage && !lockable); // the storage obtained first stays
    QVERIFY(log.contains("[Utils] 3: Failed to create lockable provider for /img"));
}

QTEST_MAIN(TestAcquisition)
#include "tst_acquisition.moc"
