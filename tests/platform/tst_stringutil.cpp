// Size texts with the start-up prefixes and separators.
#include <QtTest>

#include "platform/StringUtil.h"

class TestStringUtil : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { StringUtil::resetFormatting(); }

    void sizes_data()
    {
        QTest::addColumn<quint64>("size");
        QTest::addColumn<bool>("si");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << quint64(0) << true << "0 ";
        QTest::newRow("999 bytes si") << quint64(999) << true << "999 ";
        QTest::newRow("1000 bytes si") << quint64(1000) << true << "1 k";
        QTest::newRow("1023 bytes bi") << quint64(1023) << false << "1,023 ";
        QTest::newRow("1024 bytes bi") << quint64(1024) << false << "1 K";
        QTest::newRow("1536 bytes bi") << quint64(1536) << false << "1.5 K";
        QTest::newRow("500 GB drive si") << quint64(500107862016) << true << "500.1 G";
        QTest::newRow("500 GB drive bi") << quint64(500107862016) << false << "465.8 G";
        QTest::newRow("rounds up to next prefix") << quint64(999960) << true << "1 M";
        QTest::newRow("just below rounding") << quint64(999949) << true << "999.9 k";
        QTest::newRow("binary between 1000 and 1024") << quint64(1010 * 1024) << false << "1,010 K";
        QTest::newRow("largest si") << ~quint64(0) << true << "18.4 E";
        QTest::newRow("largest bi") << ~quint64(0) << false << "16 E";
    }

    void sizes()
    {
        QFETCH(quint64, size);
        QFETCH(bool, si);
        QFETCH(QString, expected);
        QCOMPARE(StringUtil::formatSizesSmart(size, si), expected);
    }

    void separatorsAndPrefixes_data()
    {
        QTest::addColumn<quint64>("size");
        QTest::addColumn<bool>("si");
        QTest::addColumn<QString>("expected");
        QTest::newRow("decimal comma") << quint64(500107862016) << true << QString::fromUtf8("500,1\u00A0G");
        QTest::newRow("thousands with dot") << quint64(1023) << false << QString::fromUtf8("1.023\u00A0");
        QTest::newRow("own prefix letters") << quint64(1500) << true << QString::fromUtf8("1,5\u00A0\u043A");
    }

    void separatorsAndPrefixes()
    {
        QFETCH(quint64, size);
        QFETCH(bool, si);
        QFETCH(QString, expected);
        StringUtil::setDecimalSeparator(',');
        StringUtil::setThousandSeparator('.');
        StringUtil::setUnitSeparator(QString::fromUtf8("\u00A0"));
        StringUtil::setSIPrefixes(QString::fromUtf8(" \u043AMGi"));
        QCOMPARE(StringUtil::formatSizesSmart(size, si), expected);
    }

    void shortPrefixListStopsAtItsLastPrefix()
    {
        StringUtil::setSIPrefixes(" kM");
        StringUtil::setThousandSeparator(0);
        QCOMPARE(StringUtil::formatSizesSmart(quint64(2500000000), true), QString("2500 M"));
        StringUtil::setSIPrefixes(" ");
        QCOMPARE(StringUtil::formatSizesSmart(quint64(2500), true), QString("2500 "));
    }

    void resetRestoresEnglish()
    {
        StringUtil::setDecimalSeparator(',');
        StringUtil::setBIPrefixes("_XYZ");
        StringUtil::resetFormatting();
        QCOMPARE(StringUtil::formatSizesSmart(1536, false), QString("1.5 K"));
    }
};

QTEST_GUILESS_MAIN(TestStringUtil)
#include "tst_stringutil.moc"
