// USB tab over hand-built nodes: device rows, the bridge controller,
// interfaces and alternate settings, kept in tests/expected/model/usb.txt. The
// boot-parameter switch has its own program (tst_usbswitch): it is read once.
#include <QtTest>

#include "TestSupport.h"
#include "model/NodeUtils.h"
#include "model/USB.h"
#include "model/UsbSwitch.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

// The cases are the nodes of tests/data/model/usb.json; a case whose name says
// "hosted" runs hosted.
const QString Path = QStringLiteral("/devices/usb/sdd");

class TestUSB : public QObject {
    Q_OBJECT
private slots:
    void shown()
    {
        QString out;
        for (const auto &[name, node] : TestSupport::memoryCases("model/usb.json")) {
            MemoryBackend &backend = MemoryBackend::install();
            backend.isHosted = name.contains("hosted");
            backend.nodes.insert(Path, node);
            Model::USB model(openGeneric(Path, 0, false), Path);
            out += QStringLiteral("=== %1\n").arg(name) + TestSupport::shownText(model);
        }
        COMPARE_GOLDEN("model/usb.txt", out);
        QVERIFY(usbControllerInfoEnabled()); // this process has an empty boot parameter
    }

    void bootParameterWords_data()
    {
        QTest::addColumn<QString>("bootParameter");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("among other words") << "quiet  app.drivescope.usb.ctrlinfo.disable\tdebug=1" << false;
        QTest::newRow("with a prefix") << "xapp.drivescope.usb.ctrlinfo.disable" << true;
        QTest::newRow("with a suffix") << "app.drivescope.usb.ctrlinfo.disable=1" << true;
    }
    void bootParameterWords()
    {
        QFETCH(QString, bootParameter);
        QTEST(usbControllerInfoAllowedBy(bootParameter), "allowed");
    }
};

QTEST_GUILESS_MAIN(TestUSB)
#include "tst_usb.moc"
