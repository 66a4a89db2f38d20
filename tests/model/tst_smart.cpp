// The S.M.A.R.T. tab: the attribute table's cells and roles, attribute states,
// decoded raw values and the health verdict. (Partial records: the acquisition's cases.)
#include "model/Roles.h"
#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "model/SmartStatus.h"

#include <QtTest>

#include "TestSupport.h"

using namespace Applications::DriveScope::Model;

namespace {

using TestSupport::hex;

SmartAttribute attribute(quint8 id, quint8 value, quint8 worst, quint8 threshold, quint64 raw)
{
    SmartAttribute a;
    a.id = id;
    a.value = value;
    a.worst = worst;
    a.threshold = threshold;
    a.raw = raw;
    return a;
}

} // namespace

class TestSmart : public QObject {
    Q_OBJECT
private slots:
    // Records as the table shows them ("#" after a cell that is a number, so the
    // view sorts and aligns it as one), with each row's state and the tooltips of
    // the name and of the raw value (its decoded form), in
    // tests/expected/model/smart-table.txt.
    void table()
    {
        const QByteArray records[] = {
            hex("C2 22 00 2D 37 1D 00 0A 00 28 00 00"), // the ends of the name table
            hex("00 00 00 00 00 00 00 00 00 00 00 00"), hex("09 00 00 64 64 2D 00 00 00 00 00 00"),
            hex("05 00 00 0A 0A 1D 00 00 00 00 00 24"), // at its threshold
            hex("05 00 00 64 63 11 22 33 44 55 66 32"), // a plain 48-bit number
            hex("09 00 00 60 60 19 11 00 00 B3 70 00"), // power-on hours, ms in bytes 4-5
            hex("03 00 00 C4 BF 3E 00 00 00 FA 37 3F"), // spin-up time, low word
            hex("C2 00 00 64 64 1C 00 0F 00 36 00 00"), // temperature with min and max
            hex("BE 00 00 3E 2C 26 00 25 26 00 00 2D"), // min/max in bytes 2 and 3
            hex("BE 00 00 3E 2C 26 00 25 26 28 4E 2D"), // other bytes used otherwise
            hex("C2 00 00 22 35 22 00 00 00 14 00 00"), // no plausible range
        };
        Smart smart(decodeSmartRecords(QByteArrayList(std::begin(records), std::end(records)).join(), nullptr), true);
        QAbstractItemModelTester tester(&smart, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(smart.rowCount(), int(std::size(records)));
        QString out;
        for (int r = 0; r < smart.rowCount(); ++r) {
            QStringList cells;
            for (int column = 0; column < 6; ++column) {
                const QModelIndex i = smart.index(r, column);
                cells << smart.data(i).toString() + (smart.data(i).typeId() == QMetaType::Int ? "#" : "");
                // The state marks the whole row; numbers and the id are right-aligned.
                QCOMPARE(smart.data(i, Roles::AttributeState), smart.data(smart.index(r, 0), Roles::AttributeState));
                QCOMPARE(smart.data(i, Qt::TextAlignmentRole).toInt(), column == 1 || column == 5 ? 0 : 0x82);
                QCOMPARE(smart.data(i, Roles::HexColumn).toBool(), column == 5);
            }
            const QString name = smart.data(smart.index(r, 1), Qt::ToolTipRole).toString();
            out += cells.join(" | ") +
                   QStringLiteral("\n  %1; tooltips: %2... / %3\n")
                       .arg(attributeStateName(
                                AttributeState(smart.data(smart.index(r, 0), Roles::AttributeState).toInt())),
                            name.left(name.indexOf('\n') + 1).replace('\n', "\\n"),
                            smart.data(smart.index(r, 5), Qt::ToolTipRole).toString().replace('\n', "\\n"));
        }
        QVERIFY(!smart.data(smart.index(smart.rowCount(), 0)).isValid());
        COMPARE_GOLDEN("model/smart-table.txt", out);
    }

    // Failing when value <= a non-zero threshold, failed in the past when only worst is.
    void state_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("worst");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QString>("state");
        QTest::newRow("above") << 100 << 99 << 36 << "ok";
        QTest::newRow("no threshold") << 0 << 0 << 0 << "ok";
        QTest::newRow("at threshold") << 36 << 36 << 36 << "failing";
        QTest::newRow("below, worst above (stale worst)") << 20 << 90 << 36 << "failing";
        QTest::newRow("worst at threshold") << 100 << 36 << 36 << "failed-in-past";
    }
    void state()
    {
        QFETCH(int, value);
        QFETCH(int, worst);
        QFETCH(int, threshold);
        QTEST(attributeStateName(attributeState(attribute(5, quint8(value), quint8(worst), quint8(threshold), 0))),
              "state");
    }

    // Without rows there is no health to show, whatever the flag says. With rows:
    // the demo drives' goldens (tst_ata_demo).
    void healthWithoutRows()
    {
        const auto shown = [](const HealthVerdict &v) {
            return QStringLiteral("%1, verdict %2, icon %3").arg(v.text).arg(int(v.verdict)).arg(v.iconShown);
        };
        QCOMPARE(shown(smartHealth(nullptr)), QStringLiteral("DEVICE DATA NOT AVAILABLE, verdict 1, icon 0"));
        for (bool healthy : {true, false}) {
            const Smart smart({}, healthy);
            QCOMPARE(shown(smartHealth(&smart)), QStringLiteral("Health not available, verdict 1, icon 1"));
        }
    }
};

QTEST_MAIN(TestSmart)
#include "tst_smart.moc"
