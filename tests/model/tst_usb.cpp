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

namespace {
const QString Path = QStringLiteral("/devices/usb/sdd");

using Props = QList<QPair<QString, PropertyValue>>;
struct Case {
    const char *name;
    Props props;
    bool hosted = false;
};

Variant t(const char *text, const char *name = "")
{
    return Variant::ofText(text, name);
}
Variant n(quint64 value, const char *name = "")
{
    return Variant::ofInt(value, name);
}

QList<Case> cases()
{
    return {
        {"nothing", {}},
        {"nothing hosted", {}, true},
        {"one interface, two settings",
         {{"USB_IFC_CSP", {t("8:6:80", "USB_IFC_CSP_i0_a0"), t("8:6:98", "USB_IFC_CSP_i0_a1")}}}},
        {"ascending order, repeated titles, first wins",
         {{"USB_IFC_CSP",
           {t("3:0:0", "USB_IFC_CSP_i1_a0"), t("8:6:98", "USB_IFC_CSP_i0_a1"), t("8:6:80", "USB_IFC_CSP_i0_a0"),
            t("9:9:9", "USB_IFC_CSP_i0_a0")}}}},
        {"interface names that do not fit",
         {{"USB_IFC_CSP",
           {t("8", "USB_IFC_CSP_x0_a0"), t("8", "USB_IFC_CSP_i0"), t("8", "USB_IFC_CSP_i_a0"),
            t("8", "USB_IFC_CSP_i0_b0"), t("8", "USB_IFC_CSP_i0_a0_1"), t("8", "USB_IFC_i0_a0"), t("8")}}}},
        {"hexadecimal numbers, partial class texts",
         {{"USB_IFC_CSP",
           {t("8", "USB_IFC_CSP_i0x10_a0"), n(8, "USB_IFC_CSP_i0x10_a0x2"), t("0xff:x:2:1", "USB_IFC_CSP_i0x10_a3")}}}},
        {"interfaces missing", {{"USB_IFC_CSP", {Variant::none()}}}},
        {"version", {{"TYPE", {t("USB")}}, {"USB_VERSION", {n(0x210)}}}},
        {"hosted, BOS UUID listed but empty", {{"USB_BOS_UUID", {}}}, true},
        {"named firmware", {{"FIRMWARE", {t("E004", "ATA_FIRMWARE"), t("0214", "USB_FIRMWARE")}}}},
        {"vendor id without name", {{"USB_ID_VENDOR", {n(0x1a2b)}}}},
        {"short product id", {{"USB_ID_PRODUCT", {n(0x781)}}}},
        {"class text with one part", {{"USB_DEV_CSP", {t("8")}}}},
        {"class of the wrong kind", {{"USB_DEV_CSP", {n(8)}}}},
        {"known bridge, release as text",
         {{"USB_ID_VENDOR", {n(0x152d)}}, {"USB_ID_PRODUCT", {n(0x0578)}}, {"FIRMWARE", {t("0214", "USB_FIRMWARE")}}}},
        {"known bridge, release as integer",
         {{"USB_ID_VENDOR", {n(0x174c)}}, {"USB_ID_PRODUCT", {n(0x55aa)}}, {"FIRMWARE", {n(0x0100, "USB_FIRMWARE")}}}},
        {"unknown bridge ids", {{"USB_ID_VENDOR", {n(0x152d)}}, {"USB_ID_PRODUCT", {n(0x0001)}}}},
    };
}
} // namespace

class TestUSB : public QObject {
    Q_OBJECT
private slots:
    void shown()
    {
        QString out;
        for (const Case &c : cases()) {
            MemoryBackend &backend = MemoryBackend::install();
            backend.isHosted = c.hosted;
            for (const auto &p : c.props)
                backend.node(Path).p0().set(p.first, p.second);
            Model::USB model(openGeneric(Path, 0, false), Path);
            out += QStringLiteral("=== %1\n").arg(QLatin1String(c.name)) + TestSupport::shownText(model);
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
