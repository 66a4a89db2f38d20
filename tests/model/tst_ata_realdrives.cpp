// The 19 real drives of the shared test data: what the ATA and S.M.A.R.T. tabs
// show with the verdicts and attribute states, against tests/expected/ata/drives/, and every
// attribute against skdump's own decode, decoded power-on time and temperatures
// included.
#include "AtaFixtures.h"
#include "TestSupport.h"

#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "model/ata/Identify.h"
#include "model/ata/Snapshot.h"

#include <QtTest>
#include <optional>
#include <utility>

using namespace Applications::DriveScope::Model;

namespace {
// skdump's pretty time or temperature: the number and how many of our units
// (hours, degrees) one of its units is; nothing for other values.
std::optional<std::pair<double, double>> skdumpValue(const QString &pretty)
{
    static const QRegularExpression form(QStringLiteral(R"(^([0-9.]+) (min|h|days|months|years|C)$)"));
    static const QHash<QString, double> units{{"min", 1 / 60.0},   {"h", 1}, {"days", 24}, {"months", 24 * 30},
                                              {"years", 24 * 365}, {"C", 1}};
    const auto m = form.match(pretty);
    if (!m.hasMatch())
        return std::nullopt;
    return std::pair{m.captured(1).toDouble(), units.value(m.captured(2))};
}
} // namespace

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
            QStringLiteral(R"(^\s*(\d+)\s+\S+\s+(\d+|n/a)\s+(\d+|n/a)\s+(\d+|n/a)\s+(.*\S)\s+0x([0-9a-f]{12})\s)"),
            QRegularExpression::MultilineOption);
        QList<QStringList> expected;
        QStringList pretty;
        for (auto it = line.globalMatch(QString::fromLocal8Bit(run.readAllStandardOutput())); it.hasNext();) {
            const auto m = it.next();
            // skdump prints the six raw bytes in record order, lowest first.
            QStringList bytes;
            for (int i = 5; i >= 0; --i)
                bytes << m.captured(6).mid(2 * i, 2).toUpper();
            pretty << m.captured(5);
            expected.append({QString::number(m.captured(1).toInt(), 16).toUpper().rightJustified(2, '0') + 'h',
                             m.captured(2), m.captured(3), m.captured(4), bytes.join(' ')});
        }
        QVERIFY(!expected.isEmpty());

        const AtaSnapshot snapshot = load(drive);
        const Smart smart(decodeSmartRecords(snapshot.attributeRecords, nullptr), true);
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

        // Power-on time and temperatures, wherever skdump gives them, agree with our
        // decoded values to skdump's one decimal ("3.1 months").
        QList<SmartAttribute> attributes = decodeSmartRecords(snapshot.attributeRecords, nullptr);
        const Identify::Words words(snapshot.identify);
        applyDriveQuirks(attributes, words.text(27, 20).trimmed(), words.text(23, 4).trimmed());
        for (int r = 0; r < attributes.size(); ++r) {
            const SmartAttribute &a = attributes[r];
            const auto theirs = skdumpValue(pretty[r]);
            if (!theirs || (a.id != 0x09 && a.id != 0xBE && a.id != 0xC2))
                continue;
            const auto [number, unit] = *theirs;
            const double ours = rawText(a).section(QLatin1Char(' '), 0, 0).toDouble() / unit;
            const double slack = a.id == 0x09 ? 1 / unit : 0; // our hours are whole
            QVERIFY2(qAbs(ours - number) <= 0.05 + slack,
                     qPrintable(QStringLiteral("%1h: ours %2, skdump %3").arg(a.id, 2, 16).arg(rawText(a), pretty[r])));
        }
    }
};

QTEST_MAIN(TestAtaRealDrives)
#include "tst_ata_realdrives.moc"
