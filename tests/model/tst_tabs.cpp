// The General, SCSI, USB, SD/eMMC and NVMe tabs over hand-built nodes: the
// cases are the nodes of tests/data/model/<tab>.json (a case whose name says
// "hosted" runs hosted); what each shows and logs is kept in
// tests/expected/model/<tab>.txt. The USB boot switch is read once per process:
// tst_usbswitch.
#include <QtTest>

#include "TestSupport.h"
#include "model/General.h"
#include "model/NVMe.h"
#include "model/NodeUtils.h"
#include "model/SCSI.h"
#include "model/SDeMMC.h"
#include "model/USB.h"

using namespace Applications::DriveScope;
using namespace TestSupport;

namespace {
template <class Tab> QString show(const QString &path)
{
    Tab model(openGeneric(path, 0, false), path);
    return shownText(model);
}

const struct {
    const char *name, *path;
    QString (*show)(const QString &);
} tabs[] = {{"general", "/devices/disk0", &show<Model::General>},
            {"scsi", "/devices/sas/sdb", &show<Model::SCSI>},
            {"usb", "/devices/usb/sdd", &show<Model::USB>},
            {"sdemmc", "/devices/mmc/mmcblk0", &show<Model::SDeMMC>},
            {"nvme", "/devices/nvme/nvme0n1", &show<Model::NVMe>}};
} // namespace

class TestTabs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shown_data()
    {
        QTest::addColumn<int>("tab");
        for (int i = 0; i < int(std::size(tabs)); ++i)
            QTest::newRow(tabs[i].name) << i;
    }
    void shown()
    {
        QFETCH(int, tab);
        const QString name = QString::fromLatin1(tabs[tab].name), path = QString::fromLatin1(tabs[tab].path);
        QString out;
        for (const auto &[label, node] : memoryCases("model/" + name + ".json")) {
            MemoryBackend &backend = MemoryBackend::install();
            backend.isHosted = label.contains("hosted");
            backend.nodes.insert(path, node);
            LogCapture log;
            out += QStringLiteral("=== %1\n").arg(label) + tabs[tab].show(path);
            for (const QString &line : log.messages())
                out += QStringLiteral("log: ") + line + QLatin1Char('\n');
        }
        COMPARE_GOLDEN("model/" + name + ".txt", out);
    }
};

QTEST_MAIN(TestTabs)
#include "tst_tabs.moc"
