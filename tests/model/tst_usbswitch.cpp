// The USB controller-information switch: the boot parameter's words, read once.
#include <QtTest>

#include "TestSupport.h"
#include "model/NodeUtils.h"
#include "model/USB.h"
#include "model/UsbSwitch.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

class TestUsbSwitch : public QObject {
    Q_OBJECT
private slots:
    void disabledOnceForTheProcess()
    {
        const QString path = QStringLiteral("/devices/usb/sdd");
        MemoryBackend &backend = MemoryBackend::install();
        backend.boot = QStringLiteral("ro app.drivescope.usb.ctrlinfo.disable quiet");
        backend.node(path).p0().set("USB_ID_VENDOR", {Variant::ofInt(0x152d)}); // a known bridge
        backend.node(path).p0().set("USB_ID_PRODUCT", {Variant::ofInt(0x0578)});

        for (int pass = 0; pass < 2; ++pass) {
            Model::USB model(openGeneric(path, 0, false), path);
            const QString shown = TestSupport::shownText(model);
            for (const QString label : {"VENDOR", "NAME", "FIRMWARE", "FLASH ID"})
                QVERIFY2(shown.contains(label + " = ~<DISABLED BY BOOT ARG>\n"), qPrintable(shown));
            backend.boot.clear(); // not read again
        }
        QVERIFY(!usbControllerInfoEnabled());
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

QTEST_GUILESS_MAIN(TestUsbSwitch)
#include "tst_usbswitch.moc"
