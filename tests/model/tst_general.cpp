// The General tab over hand-built nodes: row order, device-type names,
// removable, serial list, net disk and size rows. What each case shows, with
// the log lines it writes, is kept in tests/expected/model/general.txt.
#include <QtTest>

#include "TestSupport.h"
#include "model/General.h"
#include "model/NodeUtils.h"

using namespace Applications::DriveScope;
using namespace TestSupport;

// The cases are the nodes of tests/data/model/general.json; a case whose name
// says "hosted" runs hosted.
const QString Path = QStringLiteral("/devices/disk0");

class TestGeneral : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shown()
    {
        QString out;
        for (const auto &[name, node] : memoryCases("model/general.json")) {
            MemoryBackend &backend = MemoryBackend::install();
            backend.isHosted = name.contains("hosted");
            backend.nodes.insert(Path, node);
            LogCapture log;
            Model::General model(openGeneric(Path, 0, false), Path);
            out += QStringLiteral("=== %1\n").arg(name) + shownText(model);
            for (const QString &line : log.messages())
                out += QStringLiteral("log: ") + line + QLatin1Char('\n');
        }
        COMPARE_GOLDEN("model/general.txt", out);
    }
};

QTEST_MAIN(TestGeneral)
#include "tst_general.moc"
