// The demo machine's interface drives (examples/nodes/demo/interfaces.json),
// loaded through the simulator: every row the demo data means to fill is
// filled, and every drive that should have a PCI tab has one.
#include <QtTest>

#include "ModelRows.h"
#include "model/Acquisition.h"
#include "model/NVMe.h"
#include "model/NodeUtils.h"
#include "model/PCI.h"
#include "model/SCSI.h"
#include "model/SDeMMC.h"
#include "model/TabStatus.h"
#include "model/USB.h"
#include "platform/sim/SimBackend.h"

using namespace Applications::DriveScope;

class TestInterfacesDemo : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void noUnexpectedPlaceholder_data();
    void noUnexpectedPlaceholder();
    void nvmeVerdicts();
    void pciInformation_data();
    void pciInformation();
};

void TestInterfacesDemo::initTestCase()
{
    auto backend =
        Services::Nodes::Sim::createBackend(QStringLiteral(SOURCE_DIR "/examples/nodes/demo/interfaces.json"));
    if (!backend->describe().startsWith(QLatin1String("simulator")))
        QSKIP("this build has no simulator backend");
    QVERIFY2(backend->available(), qPrintable(backend->errors().join('\n')));
    QVERIFY2(backend->errors().isEmpty(), qPrintable(backend->errors().join('\n')));
    Services::Nodes::Backend::install(std::move(backend));
}

void TestInterfacesDemo::noUnexpectedPlaceholder_data()
{
    QTest::addColumn<QString>("tab");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("expected"); // "GROUP/LABEL" rows meant to show a placeholder
    QTest::addColumn<int>("groups");

    const QStringList noFlashId{"CONTROLLER INFO/FLASH ID"};
    QTest::newRow("NVMe, healthy log") << "NVMe"
                                       << "/devices/nvme/nvme0n1" << QStringList{} << 3;
    QTest::newRow("NVMe, log with warnings") << "NVMe"
                                             << "/devices/nvme/nvme1n1" << QStringList{} << 3;
    QTest::newRow("SCSI of the SAS disk") << "SCSI"
                                          << "/devices/sas/sdb" << QStringList{} << 1;
    QTest::newRow("SCSI of the USB stick") << "SCSI"
                                           << "/devices/usb/sdc" << QStringList{} << 1;
    QTest::newRow("SCSI of the USB drive") << "SCSI"
                                           << "/devices/usb/sdd" << QStringList{} << 1;
    QTest::newRow("USB stick") << "USB"
                               << "/devices/usb/sdc" << noFlashId << 4;
    QTest::newRow("USB drive") << "USB"
                               << "/devices/usb/sdd" << noFlashId << 7;
    QTest::newRow("SD card") << "SDeMMC"
                             << "/devices/mmc/mmcblk0" << QStringList{} << 2;
    QTest::newRow("eMMC") << "SDeMMC"
                          << "/devices/mmc/mmcblk1" << QStringList{} << 2;
    for (const char *path :
         {"/devices/nvme/nvme0n1", "/devices/sas/sdb", "/devices/usb/sdc", "/devices/usb/sdd", "/devices/mmc/mmcblk0"})
        QTest::addRow("PCI of %s", path) << "PCI" << path << QStringList{} << 2;
}

void TestInterfacesDemo::noUnexpectedPlaceholder()
{
    QFETCH(QString, tab);
    QFETCH(QString, path);
    QFETCH(QStringList, expected);
    QFETCH(int, groups);

    const Ref<Interfaces::Generic> node = openGeneric(path, 0, true);
    QVERIFY(node);
    std::unique_ptr<Model::Group> model;
    if (tab == "NVMe") // through the acquisition, which reads the health log
        model = std::move(Acquisition().acquireDrive(path, path)->nvme);
    else if (tab == "SCSI")
        model = std::make_unique<Model::SCSI>(node, path);
    else if (tab == "USB")
        model = std::make_unique<Model::USB>(node, path);
    else if (tab == "SDeMMC")
        model = std::make_unique<Model::SDeMMC>(node, path);
    else
        model = std::make_unique<Model::PCI>(node, path);

    const QList<ShownGroup> shown = shownGroups(*model);
    QCOMPARE(shown.size(), groups);
    QStringList placeholders;
    for (const ShownGroup &group : shown)
        for (const ShownRow &row : group.rows)
            if (row.dimmed || row.value.startsWith('<'))
                placeholders.append(group.title + "/" + row.label);
    QCOMPARE(placeholders, expected);
}

// One demo NVMe drive is healthy, the other one is not.
void TestInterfacesDemo::nvmeVerdicts()
{
    Acquisition acquisition;
    const auto healthy = acquisition.acquireDrive("/devices/nvme/nvme0n1", "healthy");
    const auto worn = acquisition.acquireDrive("/devices/nvme/nvme1n1", "worn");
    QVERIFY(Model::tabState(healthy.get(), Model::Tab::NVMe, false).verdict == Model::Verdict::Ok);
    QVERIFY(Model::tabState(worn.get(), Model::Tab::NVMe, false).verdict == Model::Verdict::Error);
}

void TestInterfacesDemo::pciInformation_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("expected");
    QTest::newRow("NVMe, through its companion") << "/devices/nvme/nvme0n1" << true;
    QTest::newRow("SAS, through PCI_ADR") << "/devices/sas/sdb" << true;
    QTest::newRow("eMMC on a bus without PCI") << "/devices/mmc/mmcblk1" << false;
}

void TestInterfacesDemo::pciInformation()
{
    QFETCH(QString, path);
    QFETCH(bool, expected);
    QCOMPARE(Model::hasPciInformation(openGeneric(path, 0, true)), expected);
}

QTEST_GUILESS_MAIN(TestInterfacesDemo)
#include "tst_interfacesdemo.moc"
