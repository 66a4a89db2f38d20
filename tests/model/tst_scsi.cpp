// SCSI tab: the source provider, its fallback to the node, and the VPD page list.
#include <QtTest>

#include "ModelRows.h"
#include "model/NodeUtils.h"
#include "TestSupport.h"
#include "model/SCSI.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

namespace {
const QString Path = QStringLiteral("/devices/sas/sdb");
const QString Dev = QStringLiteral("DEVICE INFORMATION");
const QString Vpd = QStringLiteral("AVAILABLE VPD PAGES");
} // namespace

class TestSCSI : public QObject {
    Q_OBJECT
private slots:
    void vpdPages_data();
    void vpdPages();
    void source_data();
    void source();
};

void TestSCSI::vpdPages_data()
{
    QTest::addColumn<PropertyValue>("result");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("dimmed");

    const QByteArray page("\x00\x83\x00\x00", 4);
    QTest::newRow("three pages in result order")
        << PropertyValue{Variant::ofBuffer(page, "VPD_PAGE_0"), Variant::ofBuffer(page, "VPD_PAGE_128"),
                         Variant::ofBuffer(page, "VPD_PAGE_131")}
        << "00h / 0\n80h / 128\n83h / 131" << false;
    QTest::newRow("hexadecimal names, no sorting")
        << PropertyValue{Variant::ofBuffer(page, "VPD_PAGE_0xb0"), Variant::ofBuffer(page, "VPD_PAGE_0x0F")}
        << "B0h / 176\n0Fh / 15" << false;
    QTest::newRow("duplicates kept") << PropertyValue{Variant::ofBuffer(page, "VPD_PAGE_0x83"),
                                                      Variant::ofBuffer(page, "VPD_PAGE_131")}
                                     << "83h / 131\n83h / 131" << false;
    QTest::newRow("unusable elements skipped") << PropertyValue{Variant::ofBuffer(page, "VPD_PAGE_"),
                                                                Variant::ofText("x", "VPD_PAGE_5"),
                                                                Variant::ofBuffer(page, "VPD_PAGE_7x"),
                                                                Variant::ofBuffer(page, "vpd_page_1"),
                                                                Variant::ofBuffer(page),
                                                                Variant::ofBuffer(page, "VPD_PAGE_-1"),
                                                                Variant::ofBuffer(page, "VPD_PAGE_2")}
                                               << "02h / 2" << false;
    QTest::newRow("none usable") << PropertyValue{Variant::ofInt(0, "VPD_PAGE_0")} << "<NOT AVAILABLE>" << true;
    QTest::newRow("no answer") << PropertyValue{} << "<NOT AVAILABLE>" << true;
}

void TestSCSI::vpdPages()
{
    QFETCH(PropertyValue, result);
    QFETCH(QString, shown);
    QFETCH(bool, dimmed);

    MemoryBackend &backend = MemoryBackend::install();
    backend.node(Path).p0().set("NODE_SET_SCSI", {Variant::ofInt(1)});
    if (!result.isEmpty())
        backend.node(Path).providers[1].setSet("GET_SCSI_VPDS", result);
    else
        backend.node(Path).providers[1];

    Model::SCSI model(openGeneric(Path, 0, false), Path);
    const ShownRow row = shownRow(shownGroups(model), Dev, Vpd);
    QCOMPARE(row.value, shown);
    QCOMPARE(row.dimmed, dimmed);
}

void TestSCSI::source_data()
{
    QTest::addColumn<PropertyValue>("set");
    QTest::addColumn<bool>("logged");
    QTest::addColumn<QString>("model");  // from the provider when it opens, else the node
    QTest::addColumn<QString>("vendor"); // only the node has it
    QTest::addColumn<QString>("pages");

    QTest::newRow("provider 1") << PropertyValue{Variant::ofInt(1)} << false << "PROVIDER"
                                << "NODEVENDOR"
                                << "80h / 128";
    QTest::newRow("provider 2 cannot open") << PropertyValue{Variant::ofInt(2)} << true << "NODE"
                                            << "NODEVENDOR"
                                            << "00h / 0";
    QTest::newRow("index beyond int does not wrap to the node's own provider")
        << PropertyValue{Variant::ofInt(0x100000001ull)} << true << "NODE"
        << "NODEVENDOR"
        << "00h / 0";
    QTest::newRow("no set property") << PropertyValue{} << false << "NODE"
                                     << "NODEVENDOR"
                                     << "00h / 0";
}

void TestSCSI::source()
{
    QFETCH(PropertyValue, set);
    QFETCH(bool, logged);
    QFETCH(QString, model);
    QFETCH(QString, vendor);
    QFETCH(QString, pages);

    MemoryBackend &backend = MemoryBackend::install();
    auto &node = backend.node(Path).p0();
    if (!set.isEmpty())
        node.set("NODE_SET_SCSI", set);
    node.set("SCSI_MODEL", {Variant::ofText("NODE")});
    node.set("SCSI_VENDOR", {Variant::ofText("NODEVENDOR")});
    node.setSet("GET_SCSI_VPDS", {Variant::ofBuffer("\0", "VPD_PAGE_0")});
    auto &provider = backend.node(Path).providers[1];
    provider.set("SCSI_MODEL", {Variant::ofText("PROVIDER")});
    provider.set("SCSI_VENDOR", {Variant::none()});
    provider.setSet("GET_SCSI_VPDS", {Variant::ofBuffer("\0", "VPD_PAGE_128")});

    SysLogFilter::setLevel(1);
    TestSupport::LogCapture log;
    Model::SCSI scsi(openGeneric(Path, 0, false), Path);
    const QList<ShownGroup> groups = shownGroups(scsi);
    QCOMPARE(shownTitles(groups), QStringList{Dev});
    QCOMPARE(groups[0].rows.size(), 5);
    QCOMPARE(shownRow(groups, Dev, "MODEL").value, model);
    QCOMPARE(shownRow(groups, Dev, "VENDOR").value, vendor);
    QCOMPARE(shownRow(groups, Dev, "SERIAL").value, QStringLiteral("<NA>"));
    QCOMPARE(shownRow(groups, Dev, Vpd).value, pages);
    QCOMPARE(log.contains("Failed to open SCSI set "), logged);
    if (logged) {
        const QString n = set.first().integer == 2 ? "2h (2)" : "100000001h (4294967297)";
        QVERIFY2(log.contains("Failed to open SCSI set " + n + " of node " + Path), qPrintable(log.text()));
        // openGeneric's own line comes first.
        QVERIFY(log.text().indexOf("Failed to create node provider for") <
                log.text().indexOf("Failed to open SCSI set"));
    }
}

QTEST_GUILESS_MAIN(TestSCSI)
#include "tst_scsi.moc"
