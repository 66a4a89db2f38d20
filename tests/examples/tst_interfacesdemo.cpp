// The demo machine's interface drives (examples/nodes/demo/interfaces.json),
// loaded through the simulator: what every interface tab shows for each drive,
// kept in tests/expected/examples/interfaces.txt, so a placeholder where the
// demo data means to fill a row shows as a change.
#include <QtTest>

#include "TestSupport.h"
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
    void tabs()
    {
        auto backend =
            Services::Nodes::Sim::createBackend(QStringLiteral(SOURCE_DIR "/examples/nodes/demo/interfaces.json"));
        QVERIFY2(backend->available() && backend->errors().isEmpty(), qPrintable(backend->errors().join('\n')));
        Services::Nodes::Backend::install(std::move(backend));

        QString out;
        Acquisition acquisition; // the NVMe tab with its health log, as the window builds it
        for (const char *drive :
             {"/devices/nvme/nvme0n1", "/devices/nvme/nvme1n1", "/devices/sas/sdb", "/devices/usb/sdc",
              "/devices/usb/sdd", "/devices/mmc/mmcblk0", "/devices/mmc/mmcblk1"}) {
            const QString path = QString::fromLatin1(drive);
            const Ref<Interfaces::Generic> node = openGeneric(path, 0, true);
            QVERIFY(node);
            const bool pci = Model::hasPciInformation(node);
            out += QStringLiteral("===== %1 (PCI information: %2)\n").arg(path).arg(pci);
            std::vector<std::pair<const char *, std::unique_ptr<Model::Group>>> tabs;
            if (path.contains("nvme")) {
                const auto data = acquisition.acquireDrive(path, path);
                QVERIFY(data && data->nvme);
                const Model::TabState state = Model::tabState(data.get(), Model::Tab::NVMe, false);
                out += QStringLiteral("NVMe status: %1 (verdict %2)\n")
                           .arg(state.lines.join(" / "))
                           .arg(state.verdict ? int(*state.verdict) : -1);
                tabs.emplace_back("NVMe", std::make_unique<Model::NVMe>(node, path, data->nvmeHealth));
            }
            if (path.contains("sas") || path.contains("usb"))
                tabs.emplace_back("SCSI", std::make_unique<Model::SCSI>(node, path));
            if (path.contains("usb"))
                tabs.emplace_back("USB", std::make_unique<Model::USB>(node, path));
            if (path.contains("mmc"))
                tabs.emplace_back("SD/eMMC", std::make_unique<Model::SDeMMC>(node, path));
            tabs.emplace_back("PCI", std::make_unique<Model::PCI>(node, path));
            for (auto &[name, model] : tabs)
                out += QStringLiteral("=== %1\n").arg(QLatin1String(name)) + TestSupport::shownText(*model);
        }
        COMPARE_GOLDEN("examples/interfaces.txt", out);
    }
};

QTEST_GUILESS_MAIN(TestInterfacesDemo)
#include "tst_interfacesdemo.moc"
