// The demo machine's interface drives (examples/nodes/demo/interfaces.json),
// loaded through the simulator: what every interface tab the window builds shows,
// kept in tests/expected/examples/interfaces.txt, so a placeholder where the
// demo data means to fill a row shows as a change.
#include <QtTest>

#include "TestSupport.h"
#include "model/Acquisition.h"
#include "model/NVMe.h"
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
        Acquisition acquisition; // the tabs as the window builds them
        for (const char *drive :
             {"/devices/nvme/nvme0n1", "/devices/nvme/nvme1n1", "/devices/sas/sdb", "/devices/usb/sdc",
              "/devices/usb/sdd", "/devices/mmc/mmcblk0", "/devices/mmc/mmcblk1"}) {
            const QString path = QString::fromLatin1(drive);
            const auto data = acquisition.acquireDrive(path, path);
            QVERIFY(data);
            out += QStringLiteral("===== %1 (PCI information: %2)\n").arg(path).arg(data->pci != nullptr);
            if (data->nvme) {
                const Model::TabState state = Model::tabState(data.get(), Model::Tab::NVMe, false);
                out += QStringLiteral("NVMe status: %1 (verdict %2)\n")
                           .arg(state.lines.join(" / "))
                           .arg(state.verdict ? int(*state.verdict) : -1);
            }
            const std::pair<const char *, Model::Group *> tabs[] = {{"NVMe", data->nvme.get()},
                                                                    {"SCSI", data->scsi.get()},
                                                                    {"USB", data->usb.get()},
                                                                    {"SD/eMMC", data->sdemmc.get()},
                                                                    {"PCI", data->pci.get()}};
            for (const auto &[name, model] : tabs) {
                if (model)
                    out += QStringLiteral("=== %1\n").arg(QLatin1String(name)) + TestSupport::shownText(*model);
            }
        }
        COMPARE_GOLDEN("examples/interfaces.txt", out);
    }
};

QTEST_GUILESS_MAIN(TestInterfacesDemo)
#include "tst_interfacesdemo.moc"
