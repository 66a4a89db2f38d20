// USB tab: device rows, the bridge controller, interfaces and alternate
// settings. The boot-parameter switch has its own test program
// (tst_usbswitch), since it is read once per process.
#include <QtTest>

#include "ModelRows.h"
#include "model/NodeUtils.h"
#include "TestSupport.h"
#include "model/UsbSwitch.h"
#include "model/USB.h"
#include "platform/disks/UsbBridges.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

namespace {
const QString Path = QStringLiteral("/devices/usb/sdd");
const QString Dev = QStringLiteral("DEVICE INFORMATION");
const QString Ctrl = QStringLiteral("CONTROLLER INFO");

QList<ShownGroup> build()
{
    Model::USB model(openGeneric(Path, 0, false), Path);
    return shownGroups(model);
}

// Groups after the first two, as "TITLE: label=value, ..." lines.
QStringList interfaceGroups(const QList<ShownGroup> &groups)
{
    QStringList lines;
    for (int i = 2; i < groups.size(); ++i) {
        QStringList cells;
        for (const ShownRow &row : groups[i].rows)
            cells.append(row.label + "=" + row.value);
        lines.append(groups[i].title + ": " + cells.join(", "));
    }
    return lines;
}
} // namespace

class TestUSB : public QObject {
    Q_OBJECT
private slots:
    void interfaces_data();
    void interfaces();
    void deviceRows_data();
    void deviceRows();
    void controller_data();
    void controller();
    void bootParameterWords_data();
    void bootParameterWords();
};

void TestUSB::interfaces_data()
{
    QTest::addColumn<PropertyValue>("value");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QStringList>("groups");

    QTest::newRow("one interface, two settings")
        << PropertyValue{Variant::ofText("8:6:80", "USB_IFC_CSP_i0_a0"), Variant::ofText("8:6:98", "USB_IFC_CSP_i0_a1")}
        << "1"
        << QStringList{"INTERFACE 0: ALTERNATIVES=2", "ALTERNATIVE 0: CLASS=8, SUBCLASS=6, PROTOCOL=80",
                       "ALTERNATIVE 1: CLASS=8, SUBCLASS=6, PROTOCOL=98"};
    QTest::newRow("ascending order, repeated titles, first wins")
        << PropertyValue{Variant::ofText("3:0:0", "USB_IFC_CSP_i1_a0"), Variant::ofText("8:6:98", "USB_IFC_CSP_i0_a1"),
                         Variant::ofText("8:6:80", "USB_IFC_CSP_i0_a0"), Variant::ofText("9:9:9", "USB_IFC_CSP_i0_a0")}
        << "2"
        << QStringList{"INTERFACE 0: ALTERNATIVES=2", "ALTERNATIVE 0: CLASS=8, SUBCLASS=6, PROTOCOL=80",
                       "ALTERNATIVE 1: CLASS=8, SUBCLASS=6, PROTOCOL=98", "INTERFACE 1: ALTERNATIVES=1",
                       "ALTERNATIVE 0: CLASS=3, SUBCLASS=0, PROTOCOL=0"};
    QTest::newRow("names that do not fit") << PropertyValue{Variant::ofText("8", "USB_IFC_CSP_x0_a0"),
                                                            Variant::ofText("8", "USB_IFC_CSP_i0"),
                                                            Variant::ofText("8", "USB_IFC_CSP_i_a0"),
                                                            Variant::ofText("8", "USB_IFC_CSP_i0_b0"),
                                                            Variant::ofText("8", "USB_IFC_CSP_i0_a0_1"),
                                                            Variant::ofText("8", "USB_IFC_i0_a0"),
                                                            Variant::ofText("8")}
                                           << "0" << QStringList{};
    QTest::newRow("hexadecimal numbers, partial class texts")
        << PropertyValue{Variant::ofText("8", "USB_IFC_CSP_i0x10_a0"), Variant::ofInt(8, "USB_IFC_CSP_i0x10_a0x2"),
                         Variant::ofText("0xff:x:2:1", "USB_IFC_CSP_i0x10_a3")}
        << "1"
        << QStringList{"INTERFACE 16: ALTERNATIVES=3", "ALTERNATIVE 0: CLASS=8, SUBCLASS=<NA>, PROTOCOL=<NA>",
                       "ALTERNATIVE 2: CLASS=8, SUBCLASS=<NA>, PROTOCOL=<NA>",
                       "ALTERNATIVE 3: CLASS=255, SUBCLASS=<NA>, PROTOCOL=<NA>"};
    QTest::newRow("missing") << PropertyValue{Variant::none()} << "<NOT AVAILABLE ON THIS PLATFORM>" << QStringList{};
}

void TestUSB::interfaces()
{
    QFETCH(PropertyValue, value);
    QFETCH(QString, count);
    QFETCH(QStringList, groups);

    MemoryBackend &backend = MemoryBackend::install();
    backend.node(Path).p0().set("USB_IFC_CSP", value);
    const QList<ShownGroup> shown = build();
    QCOMPARE(shown.mid(0, 2).size(), 2);
    QCOMPARE(shown[0].title, Dev);
    QCOMPARE(shown[1].title, Ctrl);
    QCOMPARE(shownRow(shown, Dev, "INTERFACES").value, count);
    QCOMPARE(interfaceGroups(shown), groups);
}

void TestUSB::deviceRows_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<PropertyValue>("value");
    QTest::addColumn<bool>("hosted");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("dimmed");

    QTest::newRow("version hexadecimal") << "USB_VERSION" << PropertyValue{Variant::ofInt(0x210)} << false << "VERSION"
                                         << "210" << false;
    QTest::newRow("hosted, not listed") << "" << PropertyValue{} << true << "BOS UUID"
                                        << "<NOT AVAILABLE ON THIS PLATFORM>" << true;
    QTest::newRow("hosted, listed but empty") << "USB_BOS_UUID" << PropertyValue{} << true << "BOS UUID"
                                              << "<NA>" << true;
    QTest::newRow("named firmware") << "FIRMWARE"
                                    << PropertyValue{Variant::ofText("E004", "ATA_FIRMWARE"),
                                                     Variant::ofText("0214", "USB_FIRMWARE")}
                                    << false << "FIRMWARE"
                                    << "0214" << false;
    QTest::newRow("vendor id without name")
        << "USB_ID_VENDOR" << PropertyValue{Variant::ofInt(0x1a2b)} << false << "MANUFACTURER"
        << "<UNAVAILABLE> (1a2bh)" << false;
    QTest::newRow("short id padded with blanks")
        << "USB_ID_PRODUCT" << PropertyValue{Variant::ofInt(0x781)} << false << "PRODUCT"
        << "<UNAVAILABLE> ( 781h)" << false;
    QTest::newRow("neither name nor id") << "" << PropertyValue{} << false << "MANUFACTURER"
                                         << "<UNAVAILABLE>" << true;
    QTest::newRow("class text with one part")
        << "USB_DEV_CSP" << PropertyValue{Variant::ofText("8")} << false << "SUBCLASS"
        << "<NA>" << true;
    QTest::newRow("class of the wrong kind") << "USB_DEV_CSP" << PropertyValue{Variant::ofInt(8)} << false << "CLASS"
                                             << "<NOT AVAILABLE ON THIS PLATFORM>" << true;
}

void TestUSB::deviceRows()
{
    QFETCH(QString, property);
    QFETCH(PropertyValue, value);
    QFETCH(bool, hosted);
    QFETCH(QString, label);
    QFETCH(QString, shown);
    QFETCH(bool, dimmed);

    MemoryBackend &backend = MemoryBackend::install();
    backend.isHosted = hosted;
    backend.node(Path).p0().set("TYPE", {Variant::ofText("USB")});
    if (!property.isEmpty())
        backend.node(Path).p0().set(property, value);
    const ShownRow row = shownRow(build(), Dev, label);
    QCOMPARE(row.value, shown);
    QCOMPARE(row.dimmed, dimmed);
}

void TestUSB::controller_data()
{
    QTest::addColumn<quint64>("vendorId");
    QTest::addColumn<quint64>("productId");
    QTest::addColumn<PropertyValue>("firmware");
    QTest::addColumn<QStringList>("rows"); // vendor, name, firmware, flash id

    const QStringList unknown(4, "<NOT AVAILABLE>");
    QTest::newRow("known bridge, release as sysfs text")
        << quint64(0x152d) << quint64(0x0578) << PropertyValue{Variant::ofText("0214", "USB_FIRMWARE")}
        << QStringList{"JMicron", "JMS578", "2.14", "<NA>"};
    QTest::newRow("known bridge, release as integer")
        << quint64(0x174c) << quint64(0x55aa) << PropertyValue{Variant::ofInt(0x0100, "USB_FIRMWARE")}
        << QStringList{"ASMedia", "ASM1051E/ASM1053E/ASM1153/ASM1153E", "1.00", "<NA>"};
    QTest::newRow("unknown ids") << quint64(0x152d) << quint64(0x0001) << PropertyValue{} << unknown;
}

void TestUSB::controller()
{
    QFETCH(quint64, vendorId);
    QFETCH(quint64, productId);
    QFETCH(PropertyValue, firmware);
    QFETCH(QStringList, rows);

    MemoryBackend &backend = MemoryBackend::install();
    auto &node = backend.node(Path).p0();
    node.set("USB_ID_VENDOR", {Variant::ofInt(vendorId)});
    node.set("USB_ID_PRODUCT", {Variant::ofInt(productId)});
    if (!firmware.isEmpty())
        node.set("FIRMWARE", firmware);
    const QList<ShownGroup> groups = build();
    QStringList shown;
    for (const QString label : {"VENDOR", "NAME", "FIRMWARE", "FLASH ID"})
        shown.append(shownRow(groups, Ctrl, label).value);
    QCOMPARE(shown, rows);
    QVERIFY(usbControllerInfoEnabled()); // this process has an empty boot parameter
}

void TestUSB::bootParameterWords_data()
{
    QTest::addColumn<QString>("bootParameter");
    QTest::addColumn<bool>("allowed");

    QTest::newRow("empty") << "" << true;
    QTest::newRow("among other words") << "quiet  app.drivescope.usb.ctrlinfo.disable\tdebug=1" << false;
    QTest::newRow("with a prefix") << "xapp.drivescope.usb.ctrlinfo.disable" << true;
    QTest::newRow("with a suffix") << "app.drivescope.usb.ctrlinfo.disable=1" << true;
}

void TestUSB::bootParameterWords()
{
    QFETCH(QString, bootParameter);
    QFETCH(bool, allowed);
    QCOMPARE(usbControllerInfoAllowedBy(bootParameter), allowed);
}

QTEST_GUILESS_MAIN(TestUSB)
#include "tst_usb.moc"
