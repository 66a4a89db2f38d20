// SCSI tab: the source provider, its fallback to the node, and the VPD page
// list; what each case shows and logs is in tests/expected/model/scsi.txt.
#include <QtTest>

#include "TestSupport.h"
#include "model/NodeUtils.h"
#include "model/SCSI.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

// The cases are the nodes of tests/data/model/scsi.json: the node has its own
// model, vendor and page, provider 1 another model and page; or the node names
// provider 1 for its pages.
const QString Path = QStringLiteral("/devices/sas/sdb");

class TestSCSI : public QObject {
    Q_OBJECT
private slots:
    void shown()
    {
        QString out;
        for (const auto &[name, node] : TestSupport::memoryCases("model/scsi.json")) {
            MemoryBackend::install().nodes.insert(Path, node);
            TestSupport::LogCapture log;
            Model::SCSI model(openGeneric(Path, 0, false), Path);
            out += QStringLiteral("=== %1\n").arg(name) + TestSupport::shownText(model);
            for (const QString &line : log.messages())
                out += QStringLiteral("log: ") + line + QLatin1Char('\n');
        }
        COMPARE_GOLDEN("model/scsi.txt", out);
    }
};

QTEST_GUILESS_MAIN(TestSCSI)
#include "tst_scsi.moc"
