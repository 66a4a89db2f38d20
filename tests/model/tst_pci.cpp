// PCI tab: address texts, the PCI information test, and the search for the
// controller's PCI node with its fallbacks.
#include <QtTest>

#include "TestSupport.h"
#include "model/NodeUtils.h"
#include "model/PCI.h"
#include "platform/Error.h"
#include "platform/Pci.h"

using namespace Applications::DriveScope;
using Services::PCI::Definitions::Address;
using TestSupport::MemoryBackend;

namespace {
const QString Path = QStringLiteral("/devices/sas/sdb");
const QString CompanionNode = QStringLiteral("/devices/pci/0000:3d:00.0");
const QString AdrNode = QStringLiteral("/devices/pci/0001:3b:1c.5");

PropertyValue busInfo(const QList<QPair<QString, quint64>> &fields)
{
    PropertyValue value;
    for (const auto &field : fields)
        value.append(Variant::ofInt(field.second, field.first));
    return value;
}
} // namespace

class TestPCI : public QObject {
    Q_OBJECT
private slots:
    void strToAddr_data();
    void strToAddr();
    void nodeForAddr();
    void hasPciInformation_data();
    void hasPciInformation();
    void model();
};

void TestPCI::strToAddr_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint32>("segment");
    QTest::addColumn<int>("bus");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("function");

    QTest::newRow("linux form") << "0000:3d:00.0" << true << 0u << 0x3d << 0 << 0;
    QTest::newRow("upper case, blanks around") << " 0001:3B:1C.5\n" << true << 1u << 0x3b << 0x1c << 5;
    QTest::newRow("wide segment") << "10000:e1:1f.7" << true << 0x10000u << 0xe1 << 0x1f << 7;
    QTest::newRow("short form") << "02:00.1" << true << 0u << 2 << 0 << 1;
    QTest::newRow("device above 1f") << "0000:00:20.0" << false << 0u << 0 << 0 << 0;
    QTest::newRow("function above 7") << "0000:00:00.8" << false << 0u << 0 << 0 << 0;
    QTest::newRow("not hexadecimal") << "000g:00:00.0" << false << 0u << 0 << 0 << 0;
    QTest::newRow("empty") << "" << false << 0u << 0 << 0 << 0;
}

void TestPCI::strToAddr()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    Address address{9, 9, 9, 9};
    QCOMPARE(Services::PCI::Library::Utils::strToAddr(text, address), ok);
    if (!ok) {
        QCOMPARE(address, (Address{9, 9, 9, 9})); // untouched
        return;
    }
    QFETCH(quint32, segment);
    QFETCH(int, bus);
    QFETCH(int, device);
    QFETCH(int, function);
    QCOMPARE(address, (Address{quint8(bus), quint8(device), quint8(function), segment}));
}

void TestPCI::nodeForAddr()
{
    namespace Utils = Services::PCI::Library::Utils;
    QCOMPARE(Utils::nodeForAddr(Address{0x3d, 0, 0, 0}), CompanionNode);
    QCOMPARE(Utils::nodeForAddr(Address{0xe1, 0x1f, 7, 0x10000}), QStringLiteral("/devices/pci/10000:e1:1f.7"));
    Address back;
    QVERIFY(Utils::strToAddr(Utils::addrToStr(Address{0x3b, 0x1c, 5, 1}), back));
    QCOMPARE(back, (Address{0x3b, 0x1c, 5, 1}));
}

void TestPCI::hasPciInformation_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<PropertyValue>("value");
    QTest::addColumn<int>("companionType"); // 0: none
    QTest::addColumn<bool>("expected");

    QTest::newRow("nothing") << "" << PropertyValue{} << 0 << false;
    QTest::newRow("unparsable address") << "PCI_ADR" << PropertyValue{Variant::ofText("garbage")} << 0 << true;
    QTest::newRow("device of any kind") << "PCI_DEVICE" << PropertyValue{Variant::ofBuffer("x")} << 0 << true;
    QTest::newRow("vendor missing") << "PCI_VENDOR" << PropertyValue{Variant::none()} << 0 << false;
    QTest::newRow("pci companion") << "" << PropertyValue{} << 2 << true;
    QTest::newRow("other companion") << "" << PropertyValue{} << 1 << false;
}

void TestPCI::hasPciInformation()
{
    QFETCH(QString, property);
    QFETCH(PropertyValue, value);
    QFETCH(int, companionType);
    QFETCH(bool, expected);

    MemoryBackend &backend = MemoryBackend::install();
    backend.node(Path).p0().set("TYPE", {Variant::ofText("SAS")});
    if (!property.isEmpty())
        backend.node(Path).p0().set(property, value);
    if (companionType) {
        backend.node(Path).p0().set("DEVICE_NODE", {Variant::ofText("dev0")});
        backend.companions["dev0"] = {{QString(), companionType}};
    }
    QCOMPARE(Model::hasPciInformation(openGeneric(Path, 0, false)), expected);

    Error::set(0);
    QVERIFY(!Model::hasPciInformation(nullptr));
    QCOMPARE(Error::get(), 0x8445u);
}

// What the tab shows and logs for each way of finding the controller's node is
// kept in tests/expected/model/pci.txt.
void TestPCI::model()
{
    struct Case {
        const char *name;
        bool companion;
        QString pciAdr;
        bool pciNodes;
        PropertyValue bus;
        quint64 classCode;
        bool busFolder;
    };
    const PropertyValue good = busInfo({{"BUS", 0x3d}, {"DEVICE", 0}, {"FUNCTION", 0}});
    const QList<Case> cases{
        {"companion wins over PCI_ADR", true, "0001:3b:1c.5", true, good, 0x010802, true},
        {"companion without BUS_INFO: no address", true, "0001:3b:1c.5", true, {}, 0x010802, true},
        {"PCI_ADR without BUS_INFO", false, "0001:3b:1c.5", true, {}, 0x010802, true},
        // The node was opened at the address of PCI_ADR, so that address stays.
        {"PCI_ADR with BUS_INFO lacking FUNCTION", false, "0001:3b:1c.5", true, busInfo({{"BUS", 0x3d}, {"DEVICE", 0}}),
         0x010802, true},
        {"companion with BUS 256", true, "", true, busInfo({{"BUS", 256}, {"DEVICE", 0}, {"FUNCTION", 0}}), 0x010802,
         true},
        {"BUS_INFO as one nested list", true, "", true, {Variant::ofList(good)}, 0x010802, true},
        {"class code 1", true, "", true, good, 1, true},
        {"PCI node cannot be opened: drive node values", false, "0001:3b:1c.5", false, good, 0, true},
        {"no PCI bus folder: the failure is silent", false, "0001:3b:1c.5", false, good, 0, false},
        {"unparsable PCI_ADR", false, "0001:3b:1c", true, good, 0, true},
    };
    QString out;
    for (const Case &c : cases) {
        MemoryBackend &backend = MemoryBackend::install();
        auto &drive = backend.node(Path).p0();
        drive.set("PCI_CLASS", {Variant::ofInt(0x010700)});
        drive.set("PCI_VENDOR", {Variant::ofInt(0x1e4a)});
        drive.set("PCI_DEVICE", {Variant::ofInt(0x0097)});
        drive.set("PCI_SUBVENDOR", {Variant::ofInt(0x10000)}); // above 16 bits: not shown
        if (!c.pciAdr.isEmpty())
            drive.set("PCI_ADR", {Variant::ofText(c.pciAdr)});
        if (c.companion) {
            drive.set("DEVICE_NODE", {Variant::ofText("/sys/devices/pci0000:00/0000:3d:00.0/nvme/nvme0")});
            backend.companions["/sys/devices/pci0000:00/0000:3d:00.0/nvme/nvme0"] = {
                {"/devices/other", 1}, {CompanionNode, 2}, {AdrNode, 2}};
        }
        for (const QString &path : {CompanionNode, AdrNode}) {
            if (!c.pciNodes)
                break;
            auto &pci = backend.node(path).p0();
            if (!c.bus.isEmpty())
                pci.set("BUS_INFO", c.bus);
            pci.set("BUS_SEGMENT", {Variant::ofInt(7)});
            pci.set("CLASSCODE", {Variant::ofInt(c.classCode)});
            pci.set("VENDOR_ID", {Variant::ofInt(0x8086)});
            pci.set("PRODUCT_ID", {Variant::ofInt(0x5216)});
            pci.set("SUBSYS_VENDOR_ID", {Variant::ofInt(0x1e4a)});
            pci.set("SUBSYS_PRODUCT_ID", {Variant::ofText("1")});
        }
        if (c.busFolder)
            backend.node("/devices/pci/bus");
        TestSupport::LogCapture log;
        Model::PCI pci(openGeneric(Path, 0, false), Path);
        out += QStringLiteral("=== %1\n").arg(QLatin1String(c.name)) + TestSupport::shownText(pci);
        for (const QString &line : log.messages())
            out += QStringLiteral("log: ") + line + QLatin1Char('\n');
    }
    COMPARE_GOLDEN("model/pci.txt", out);
}

QTEST_GUILESS_MAIN(TestPCI)
#include "tst_pci.moc"
