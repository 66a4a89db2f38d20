// SD/eMMC tab: the second group by card type, formats, the device-type list
// and the hosted-mode placeholder.
#include <QtTest>

#include "ModelRows.h"
#include "model/NodeUtils.h"
#include "TestSupport.h"
#include "model/SDeMMC.h"

using namespace Applications::DriveScope;
using TestSupport::MemoryBackend;

namespace {
const QString Path = QStringLiteral("/devices/mmc/mmcblk0");
const QString Dev = QStringLiteral("DEVICE INFORMATION");
const QString Mmc = QStringLiteral("MMC INFORMATION");

QList<ShownGroup> build()
{
    Model::SDeMMC model(openGeneric(Path, 0, false), Path);
    return shownGroups(model);
}
} // namespace

class TestSDeMMC : public QObject {
    Q_OBJECT
private slots:
    void cardType_data();
    void cardType();
    void rows_data();
    void rows();
};

void TestSDeMMC::cardType_data()
{
    QTest::addColumn<PropertyValue>("cardType");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QList<int>>("rowCounts");
    QTest::addColumn<QString>("shownType");

    QTest::newRow("SD") << PropertyValue{Variant::ofText("SD")} << QStringList{Dev, "SD INFORMATION"}
                        << QList<int>{4, 5} << "SD";
    QTest::newRow("MMC") << PropertyValue{Variant::ofText("MMC")} << QStringList{Dev, Mmc} << QList<int>{4, 16}
                         << "MMC";
    QTest::newRow("missing") << PropertyValue{} << QStringList{Dev} << QList<int>{4} << "<NA>";
    QTest::newRow("integer") << PropertyValue{Variant::ofInt(1)} << QStringList{Dev} << QList<int>{4} << "<INVALID>";
    QTest::newRow("other text") << PropertyValue{Variant::ofText("SDIO")} << QStringList{Dev} << QList<int>{4}
                                << "SDIO";
}

void TestSDeMMC::cardType()
{
    QFETCH(PropertyValue, cardType);
    QFETCH(QStringList, titles);
    QFETCH(QList<int>, rowCounts);
    QFETCH(QString, shownType);

    MemoryBackend &backend = MemoryBackend::install();
    backend.node(Path).p0().set("TYPE", {Variant::ofText("CARD")});
    if (!cardType.isEmpty())
        backend.node(Path).p0().set("CARD_TYPE", cardType);
    const QList<ShownGroup> groups = build();
    QCOMPARE(shownTitles(groups), titles);
    QList<int> counts;
    for (const ShownGroup &group : groups)
        counts.append(group.rows.size());
    QCOMPARE(counts, rowCounts);
    QCOMPARE(shownRow(groups, Dev, "CARD TYPE").value, shownType);
}

void TestSDeMMC::rows_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<PropertyValue>("value");
    QTest::addColumn<bool>("hosted");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("dimmed");

    QTest::newRow("frequency") << "MMC_NORMAL_SPEED_FREQ" << PropertyValue{Variant::ofInt(52000)} << false
                               << "NORMAL SPEED FREQUENCY"
                               << "52000 kHz" << false;
    QTest::newRow("gpp label numbered") << "MMC_GPP2_SIZE" << PropertyValue{Variant::ofInt(8388608)} << false
                                        << "GENERAL PURPOSE PARTITION 2 SIZE"
                                        << "8388608" << false;
    QTest::newRow("hosted, not listed") << "" << PropertyValue{} << true << "GENERAL PURPOSE PARTITION 3 SIZE"
                                        << "<NOT AVAILABLE ON THIS PLATFORM>" << true;
    QTest::newRow("device types, other kinds skipped")
        << "MMC_DEVICE_TYPE"
        << PropertyValue{Variant::ofText("HS 52 MHz"), Variant::ofInt(4), Variant::ofText("HS200 1.8 V")} << false
        << "DEVICE TYPE"
        << "HS 52 MHz\nHS200 1.8 V" << false;
    QTest::newRow("device types, integers only")
        << "MMC_DEVICE_TYPE" << PropertyValue{Variant::ofInt(1), Variant::ofInt(2)} << false << "DEVICE TYPE"
        << "<NOT AVAILABLE>" << true;
    QTest::newRow("device types, hosted, not listed") << "" << PropertyValue{} << true << "DEVICE TYPE"
                                                      << "<NOT AVAILABLE ON THIS PLATFORM>" << true;
    QTest::newRow("device types, hosted, listed")
        << "MMC_DEVICE_TYPE" << PropertyValue{Variant::none()} << true << "DEVICE TYPE"
        << "<NOT AVAILABLE>" << true;
}

void TestSDeMMC::rows()
{
    QFETCH(QString, property);
    QFETCH(PropertyValue, value);
    QFETCH(bool, hosted);
    QFETCH(QString, label);
    QFETCH(QString, shown);
    QFETCH(bool, dimmed);

    MemoryBackend &backend = MemoryBackend::install();
    backend.isHosted = hosted;
    backend.node(Path).p0().set("CARD_TYPE", {Variant::ofText("MMC")});
    if (!property.isEmpty())
        backend.node(Path).p0().set(property, value);
    const ShownRow row = shownRow(build(), Mmc, label);
    QCOMPARE(row.value, shown);
    QCOMPARE(row.dimmed, dimmed);
}

QTEST_GUILESS_MAIN(TestSDeMMC)
#include "tst_sdemmc.moc"
