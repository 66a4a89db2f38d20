// SD/eMMC tab: the second group by card type, formats, the device-type list
// and the hosted-mode placeholder, kept in tests/expected/model/sdemmc.txt.
#include <QtTest>

#include "TestSupport.h"
#include "model/NodeUtils.h"
#include "model/SDeMMC.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

namespace {
const QString Path = QStringLiteral("/devices/mmc/mmcblk0");

struct Case {
    const char *name;
    QList<QPair<QString, PropertyValue>> props;
    bool hosted = false;
};

QList<Case> cases()
{
    const PropertyValue mmc{Variant::ofText("MMC")};
    return {
        {"SD", {{"TYPE", {Variant::ofText("CARD")}}, {"CARD_TYPE", {Variant::ofText("SD")}}}},
        {"MMC", {{"TYPE", {Variant::ofText("CARD")}}, {"CARD_TYPE", mmc}}},
        {"no card type", {{"TYPE", {Variant::ofText("CARD")}}}},
        {"integer card type", {{"CARD_TYPE", {Variant::ofInt(1)}}}},
        {"other card type", {{"CARD_TYPE", {Variant::ofText("SDIO")}}}},
        {"MMC hosted", {{"CARD_TYPE", mmc}}, true},
        {"MMC rows",
         {{"CARD_TYPE", mmc},
          {"MMC_NORMAL_SPEED_FREQ", {Variant::ofInt(52000)}},
          {"MMC_GPP2_SIZE", {Variant::ofInt(8388608)}},
          {"MMC_DEVICE_TYPE", {Variant::ofText("HS 52 MHz"), Variant::ofInt(4), Variant::ofText("HS200 1.8 V")}}}},
        {"device types, integers only",
         {{"CARD_TYPE", mmc}, {"MMC_DEVICE_TYPE", {Variant::ofInt(1), Variant::ofInt(2)}}}},
        {"device types, hosted, listed", {{"CARD_TYPE", mmc}, {"MMC_DEVICE_TYPE", {Variant::none()}}}, true},
    };
}
} // namespace

class TestSDeMMC : public QObject {
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
            Model::SDeMMC model(openGeneric(Path, 0, false), Path);
            out += QStringLiteral("=== %1\n").arg(QLatin1String(c.name)) + TestSupport::shownText(model);
        }
        COMPARE_GOLDEN("model/sdemmc.txt", out);
    }
};

QTEST_GUILESS_MAIN(TestSDeMMC)
#include "tst_sdemmc.moc"
