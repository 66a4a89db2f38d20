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
    void addresses();
    void hasPciInformation_data();
    void hasPciInformation();
    void model();
};

// Each text as read (an unread text leaves the address as it was: 9s), written
// back, and the node named after it, in tests/expected/model/pci-addresses.txt.
void TestPCI::addresses()
{
    namespace Utils = Services::PCI::Library::Utils;
    QString out;
    for (const char *text : {"0000:3d:00.0", " 0001:3B:1C.5\n", "10000:e1:1f.7", "02:00.1", "0000:00:20.0",
                             "0000:00:00.8", "000g:00:00.0", ""}) {
        Address a{9, 9, 9, 9};
        const bool ok = Utils::strToAddr(QString::fromLatin1(text), a);
        out += QStringLiteral("\"%1\": %2 segment %3 bus %4 device %5 function %6 -> %7, %8\n")
                   .arg(QString::fromLatin1(text).replace('\n', "\\n"), QLatin1String(ok ? "read" : "refused"))
                   .arg(a.segment, 0, 16)
                   .arg(a.bus, 0, 16)
                   .arg(a.device, 0, 16)
                   .arg(a.function)
                   .arg(Utils::addrToStr(a), Utils::nodeForAddr(a));
    }
    COMPARE_GOLDEN("model/pci-addresses.txt", out);
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
        // PCI_SUBVENDOR is above 16 bits: not shown.
        for (const auto &[name, value] : {std::pair{"PCI_CLASS", 0x010700},
                                          {"PCI_VENDOR", 0x1e4a},
                                          {"PCI_DEVICE", 0x0097},
                                          {"PCI_SUBVENDOR", 0x10000}})
            drive.set(name, {Variant::ofInt(quint64(value))});
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
            for (const auto &[name, value] : {std::pair{"BUS_SEGMENT", quint64(7)},
                                              {"CLASSCODE", c.classCode},
                                              {"VENDOR_ID", 0x8086},
                                              {"PRODUCT_ID", 0x5216},
                                              {"SUBSYS_VENDOR_ID", 0x1e4a}})
                pci.set(name, {Variant::ofInt(value)});
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
