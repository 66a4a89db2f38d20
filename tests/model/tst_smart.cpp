// The S.M.A.R.T. tab: record decoding, the attribute table's cells and roles,
// attribute states, decoded raw values and the health verdict.
#include "model/Roles.h"
#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "model/SmartStatus.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include "TestSupport.h"

using namespace Applications::DriveScope::Model;

Q_DECLARE_METATYPE(Verdict)

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
    void decodeRecords_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("count");
        QTest::newRow("empty") << QByteArray() << true << 0;
        QTest::newRow("one record") << hex("05 00 00 64 63 11 22 33 44 55 66 32") << true << 1;
        QTest::newRow("two records") << QByteArray(24, '\x01') << true << 2;
        QTest::newRow("13 bytes") << QByteArray(13, '\x01') << false << 0;
        QTest::newRow("11 bytes") << QByteArray(11, '\x01') << false << 0;
    }
    void decodeRecords()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, ok);
        bool reported = !ok;
        const QList<SmartAttribute> list = decodeSmartRecords(data, &reported);
        QCOMPARE(reported, ok);
        QTEST(int(list.size()), "count");
        decodeSmartRecords(data, nullptr); // ok may be null
    }

    void cells_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QStringList>("texts");
        // Names come from the table (the real drives' goldens show them); here the ends of its range.
        QTest::newRow("temperature") << hex("C2 22 00 2D 37 1D 00 0A 00 28 00 00")
                                     << QStringList{"C2h", "Temperature Celsius", "45", "55", "0", "00 28 00 0A 00 1D"};
        QTest::newRow("id 0") << hex("00 00 00 00 00 00 00 00 00 00 00 00")
                              << QStringList{"00h", "Unknown Attribute 0", "0", "0", "0", "00 00 00 00 00 00"};
    }
    void cells()
    {
        QFETCH(QByteArray, record);
        QFETCH(QStringList, texts);
        Smart smart(decodeSmartRecords(record, nullptr), true);
        QAbstractItemModelTester tester(&smart, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(smart.rowCount(), 1);
        QCOMPARE(smart.columnCount(), 6);
        for (int column = 0; column < 6; ++column)
            QCOMPARE(smart.data(smart.index(0, column)).toString(), texts[column]);
        // The numbers are numbers, so the view sorts and aligns them as such.
        for (int column = 2; column <= 4; ++column)
            QCOMPARE(smart.data(smart.index(0, column)).typeId(), QMetaType::Int);
        QCOMPARE(smart.data(smart.index(0, 0)).typeId(), QMetaType::QString);
        QVERIFY(smart.data(smart.index(0, 1), Qt::ToolTipRole).toString().startsWith(texts[1] + '\n'));
    }

    void roles()
    {
        Smart smart({attribute(9, 100, 100, 0, 45), attribute(0x05, 10, 10, 36, 0x1D)}, true);
        QAbstractItemModelTester tester(&smart, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int column : {0, 2, 3, 4})
            QCOMPARE(smart.data(smart.index(1, column), Qt::TextAlignmentRole).toInt(), 0x82);
        for (int column : {1, 5})
            QVERIFY(!smart.data(smart.index(1, column), Qt::TextAlignmentRole).isValid());
        for (int column = 0; column < 6; ++column) {
            QCOMPARE(smart.data(smart.index(1, column), Roles::HexColumn).toBool(), column == 5);
            // The state marks the whole row; the tooltip says it beside the decoded value.
            QCOMPARE(smart.data(smart.index(1, column), Roles::AttributeState).toInt(), int(AttributeState::Failing));
            QCOMPARE(smart.data(smart.index(0, column), Roles::AttributeState).toInt(), int(AttributeState::Ok));
        }
        QCOMPARE(smart.data(smart.index(0, 5), Qt::ToolTipRole).toString(), QStringLiteral("45 h"));
        QVERIFY(
            smart.data(smart.index(1, 5), Qt::ToolTipRole).toString().startsWith(QStringLiteral("29\nFailing now")));
        QVERIFY(!smart.data(smart.index(2, 0)).isValid());
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

    void rawText_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain 48-bit number") << hex("05 00 00 64 63 11 22 33 44 55 66 32") << "112516402455057";
        QTest::newRow("power-on hours, ms in bytes 4-5") << hex("09 00 00 60 60 19 11 00 00 B3 70 00") << "4377 h";
        QTest::newRow("spin-up time, low word") << hex("03 00 00 C4 BF 3E 00 00 00 FA 37 3F") << "62 ms";
        QTest::newRow("temperature with min and max")
            << hex("C2 00 00 64 64 1C 00 0F 00 36 00 00") << "28 \u00B0C (min 15, max 54)";
        QTest::newRow("temperature, min/max in bytes 2 and 3")
            << hex("BE 00 00 3E 2C 26 00 25 26 00 00 2D") << "38 \u00B0C (min 37, max 38)";
        QTest::newRow("temperature, other bytes used otherwise")
            << hex("BE 00 00 3E 2C 26 00 25 26 28 4E 2D") << "38 \u00B0C";
        QTest::newRow("temperature, no plausible range") << hex("C2 00 00 22 35 22 00 00 00 14 00 00") << "34 \u00B0C";
    }
    void rawText()
    {
        QFETCH(QByteArray, record);
        const QList<SmartAttribute> list = decodeSmartRecords(record, nullptr);
        QCOMPARE(list.size(), 1);
        QTEST(Applications::DriveScope::Model::rawText(list[0]), "text");
    }

    void health_data()
    {
        QTest::addColumn<bool>("model");
        QTest::addColumn<bool>("rows");
        QTest::addColumn<bool>("healthy");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<bool>("icon");
        QTest::newRow("no model") << false << false << false << "DEVICE DATA NOT AVAILABLE" << Verdict::Warning
                                  << false;
        QTest::newRow("empty, healthy flag")
            << true << false << true << "Health not available" << Verdict::Warning << true;
        QTest::newRow("empty, unhealthy flag")
            << true << false << false << "Health not available" << Verdict::Warning << true;
        QTest::newRow("healthy") << true << true << true << "Drive healthy" << Verdict::Ok << true;
        QTest::newRow("not healthy") << true << true << false << "Drive not healthy" << Verdict::Error << true;
    }
    void health()
    {
        QFETCH(bool, model);
        QFETCH(bool, rows);
        QFETCH(bool, healthy);
        QList<SmartAttribute> list;
        if (rows)
            list.append(attribute(5, 100, 100, 36, 0));
        const Smart smart(list, healthy);
        const HealthVerdict v = smartHealth(model ? &smart : nullptr);
        QTEST(v.text, "text");
        QTEST(v.verdict, "verdict");
        QTEST(v.iconShown, "icon");
    }
};

QTEST_MAIN(TestSmart)
#include "tst_smart.moc"
