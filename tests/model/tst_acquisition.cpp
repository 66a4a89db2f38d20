// Which tabs a drive gets, the validity checks on its S.M.A.R.T. and IDENTIFY
// data, the drive support test and the safe-disk test; plus the node helpers.
#include <QtTest>

#include "TestSupport.h"
#include "model/Acquisition.h"
#include "model/Ata.h"
#include "model/NodeUtils.h"
#include "model/Smart.h"
#include "platform/Error.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

namespace {
// What was built for the drive at `path`: interfaces, tabs, the IDENTIFY and
// S.M.A.R.T. data, whether it counts as supported, and the messages on the way.
QString acquired(const QString &path)
{
    TestSupport::LogCapture log;
    TestSupport::MessageCapture messages;
    bool opened = false;
    const bool supported = Acquisition().isDriveSupported(path, &opened);
    QString out = QStringLiteral("supported %1, opened %2\n").arg(supported).arg(opened);
    if (const auto data = Acquisition().acquireDrive(path, "Disk")) {
        out +=
            QStringLiteral("%1: interfaces %2h, tabs").arg(data->name).arg(data->interfaces, 2, 16, QLatin1Char('0'));
        const QList<std::pair<bool, const char *>> tabs = {
            {bool(data->general), "general"}, {bool(data->partitions), "partitions"}, {bool(data->nvme), "nvme"},
            {bool(data->usb), "usb"},         {bool(data->sdemmc), "sdemmc"},         {bool(data->scsi), "scsi"}};
        for (const auto &[present, name] : tabs)
            out += present ? QStringLiteral(" ") + QLatin1String(name) : QString();
        if (data->ata)
            out += QStringLiteral("\nata: %1 bytes, %2...")
                       .arg(data->ata->identify().size())
                       .arg(QString::fromLatin1(data->ata->identify().left(4).toHex()));
        if (data->smart) {
            out += QStringLiteral("\nsmart: healthy %1, attributes").arg(data->smart->healthy());
            for (const auto &a : data->smart->attributes())
                out += QStringLiteral(" %1h=%2").arg(a.id, 2, 16, QLatin1Char('0')).arg(a.raw, 0, 16);
        }
        out += QLatin1Char('\n');
    }

    // Every case has no storage and no volume server: those lines say nothing.
    static const QRegularExpression same(QStringLiteral("storage provider|vsctrl|volume server|partition manager"));
    for (const QString &line : log.messages() + messages.all())
        out += line.contains(same) ? QString() : QStringLiteral("log: ") + line + QLatin1Char('\n');
    return out;
}
} // namespace

class TestAcquisition : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { Error::set(0); }
    // The cases are the nodes of tests/data/model/acquisition.json, each read at
    // "/d"; what was built is kept in tests/expected/model/acquisition.txt.
    void drives()
    {
        QString out;
        for (const auto &[name, node] : TestSupport::memoryCases("model/acquisition.json")) {
            MemoryBackend::install().nodes.insert("/d", node);
            out += QStringLiteral("=== %1\n").arg(name) + acquired("/d");
        }
        MemoryBackend::install();
        out += QStringLiteral("=== no node\n") + acquired("/d");
        COMPARE_GOLDEN("model/acquisition.txt", out);
    }

    void safeDisk()
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

    void nodeHelpers()
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
};

QTEST_MAIN(TestAcquisition)
#include "tst_acquisition.moc"
