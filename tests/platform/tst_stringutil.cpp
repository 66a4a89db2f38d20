// Size texts with the start-up prefixes and separators.
#include <QtTest>

#include "platform/StringUtil.h"

class TestStringUtil : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { StringUtil::resetFormatting(); }

    // Cases in tests/data/platform/sizes.txt.
    void sizes()
    {
        QFile cases(QStringLiteral(TESTS_DIR "/data/platform/sizes.txt"));
        QVERIFY(cases.open(QIODevice::ReadOnly));
        int checked = 0;
        for (const QString &line : QString::fromUtf8(cases.readAll()).split('\n')) {
            const QStringList f = line.split('\t');
            if (line.startsWith('#') || f.size() != 3)
                continue;
            QCOMPARE(StringUtil::formatSizesSmart(f[0].toULongLong(), f[1] == "1"), f[2]);
            ++checked;
        }
        QCOMPARE(checked, 13);
    }

    void separatorsAndPrefixes()
    {
        StringUtil::setDecimalSeparator(',');
        StringUtil::setThousandSeparator('.');
        StringUtil::setUnitSeparator(QString::fromUtf8("\u00A0"));
        StringUtil::setSIPrefixes(QString::fromUtf8(" \u043AMGi"));
        QCOMPARE(StringUtil::formatSizesSmart(500107862016, true), QString::fromUtf8("500,1\u00A0G"));
        QCOMPARE(StringUtil::formatSizesSmart(1023, false), QString::fromUtf8("1.023\u00A0"));
        QCOMPARE(StringUtil::formatSizesSmart(1500, true), QString::fromUtf8("1,5\u00A0\u043A"));
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
