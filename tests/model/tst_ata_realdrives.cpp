// The 19 real drives of the shared test data: what the ATA and S.M.A.R.T. tabs
// show with the verdicts, against tests/expected/ata/drives/, and every
// attribute against skdump's own decode.
#include "AtaFixtures.h"
#include "TestSupport.h"

#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "model/ata/Snapshot.h"

#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace Applications::DriveScope::Model;

class TestAtaRealDrives : public QObject {
    Q_OBJECT
    QString m_dir;

    AtaSnapshot load(const QString &drive)
    {
        AtaSnapshot snapshot;
        QString error;
        if (!loadAtaSnapshot(m_dir + QLatin1Char('/') + drive, &snapshot, &error))
            qWarning("%s", qPrintable(error));
        return snapshot;
    }

private slots:
    void initTestCase()
    {
        SHARED_DATA_OR_RETURN(dir, "ata-drives");
        m_dir = dir;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(QDir(m_dir).entryList(QDir::Files).size(), 19);
    }

    void drive_data()
    {
        QTest::addColumn<QString>("drive");
        for (const QString &name : QDir(m_dir).entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << name;
    }
    void drive()
    {
        QFETCH(QString, drive);
        const AtaSnapshot s = load(drive);
        QCOMPARE(s.identify.size(), 512);
        COMPARE_GOLDEN("ata/drives/" + drive + ".txt",
                       AtaFixtures::driveText(s.identify, s.attributeRecords, s.healthy));
    }

    // skdump (libatasmart-bin) decodes the same snapshots on its own: every
    // attribute's id, value, worst, threshold and raw bytes must agree.
    void attributesAgreeWithSkdump_data() { drive_data(); }
    void attributesAgreeWithSkdump()
    {
        QFETCH(QString, drive);
        const QString skdump = QStandardPaths::findExecutable(QStringLiteral("skdump"), {"/usr/sbin", "/sbin"});
        if (skdump.isEmpty())
            QSKIP("skdump (package libatasmart-bin) is not installed.");
        QProcess run;
        run.start(skdump, {QStringLiteral("--load=") + m_dir + QLatin1Char('/') + drive});
        QVERIFY(run.waitForFinished(-1));
        // "  9 power-on-hours   100   100     0   1.9 days    0x2d0000000000 old-age ..."
        static const QRegularExpression line(
            QStringLiteral(R"(^\s*(\d+)\s+\S+\s+(\d+|n/a)\s+(\d+|n/a)\s+(\d+|n/a)\s+.*\s0x([0-9a-f]{12})\s)"),
            QRegularExpression::MultilineOption);
        QList<QStringList> expected;
        for (auto it = line.globalMatch(QString::fromLocal8Bit(run.readAllStandardOutput())); it.hasNext();) {
            const auto m = it.next();
            // skdump prints the six raw bytes in record order, lowest first.
            QStringList bytes;
            for (int i = 5; i >= 0; --i)
                bytes << m.captured(5).mid(2 * i, 2).toUpper();
            expected.append({QString::number(m.captured(1).toInt(), 16).toUpper().rightJustified(2, '0') + 'h',
                             m.captured(2), m.captured(3), m.captured(4), bytes.join(' ')});
        }
        QVERIFY(!expected.isEmpty());

        const Smart smart(decodeSmartRecords(load(drive).attributeRecords, nullptr), true);
        QCOMPARE(smart.rowCount(), int(expected.size()));
        for (int r = 0; r < smart.rowCount(); ++r) {
            QStringList ours;
            for (int column : {0, 2, 3, 4, 5})
                ours << smart.data(smart.index(r, column)).toString();
            // skdump says "n/a" for values it deems invalid; those are not compared.
            for (int i = 0; i < ours.size(); ++i)
                if (expected[r][i] == QLatin1String("n/a"))
                    ours[i] = expected[r][i];
            QCOMPARE(ours, expected[r]);
        }
    }
};

QTEST_MAIN(TestAtaRealDrives)
#include "tst_ata_realdrives.moc"
