// The 19 real drives of the shared test data: identity, capacity, standard,
// transfer mode, security and feature rows, checksum and health verdicts, and
// every attribute with its decoded raw value, checked against what each drive
// is and against skdump.
#include "AtaFixtures.h"

#include "model/Ata.h"
#include "model/AtaStatus.h"
#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "model/SmartStatus.h"
#include "model/ata/Identify.h"
#include "model/ata/Snapshot.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <memory>
#include <optional>
#include <utility>

using namespace Applications::DriveScope::Model;
using AtaFixtures::rowValue;

namespace {

struct Drive {
    AtaSnapshot snapshot;
    std::unique_ptr<Ata> ata;
    std::unique_ptr<Smart> smart; // null when the drive reported no health, as the acquisition does
};

// Loads one snapshot the way the acquisition hands it to the models.
bool load(const QString &name, Drive &drive)
{
    QString error;
    if (!loadAtaSnapshot(AtaFixtures::realDriveDir() + QLatin1Char('/') + name, &drive.snapshot, &error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    drive.ata = std::make_unique<Ata>(drive.snapshot.identify);
    bool ok = false;
    const QList<SmartAttribute> attributes = decodeSmartRecords(drive.snapshot.attributeRecords, &ok);
    if (!ok)
        return false;
    if (drive.snapshot.healthy)
        drive.smart = std::make_unique<Smart>(attributes, *drive.snapshot.healthy);
    return true;
}

// The attributes as the acquisition hands them over, with the drive's quirks.
QList<SmartAttribute> attributesOf(const Drive &drive)
{
    QList<SmartAttribute> list = decodeSmartRecords(drive.snapshot.attributeRecords, nullptr);
    const Identify::Words words(drive.snapshot.identify);
    applyDriveQuirks(list, words.text(27, 20).trimmed(), words.text(23, 4).trimmed());
    return list;
}

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

QString cell(const Smart &smart, int row, int column)
{
    return smart.data(smart.index(row, column)).toString();
}

} // namespace

class TestAtaRealDrives : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (AtaFixtures::realDriveDir().isEmpty())
            QSKIP("The shared real-drive data (DRIVESCOPE_SHARED/testdata/ata-drives) is absent.");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void allDrivesPresent() { QCOMPARE(QDir(AtaFixtures::realDriveDir()).entryList(QDir::Files).size(), 19); }

    void identity_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<QString>("sectors28");
        QTest::addColumn<QString>("sectors48");
        QTest::addColumn<QString>("standard");
        QTest::addColumn<QString>("ultraDma");
        QTest::addColumn<QString>("securitySupported");
        QTest::addColumn<QString>("securityEnabled");
        QTest::addColumn<QString>("securityFrozen");
        QTest::addColumn<QString>("writeCache");
        QTest::addColumn<QString>("health");
        QTest::addColumn<int>("attributes");
        QTest::newRow("FUJITSU_MHY2120BH--0084000D") << "FUJITSU MHY2120BH"
                                                     << "K434T81257SL"
                                                     << "0084000D"
                                                     << "234,441,648"
                                                     << "234,441,648"
                                                     << "ATA-8 ACS"
                                                     << "5"
                                                     << "yes"
                                                     << "no"
                                                     << "yes"
                                                     << "supported & enabled"
                                                     << "Drive healthy" << 21;
        QTest::newRow("FUJITSU_MHY2120BH--0085000B") << "FUJITSU MHY2120BH"
                                                     << "K430T7C2F50K"
                                                     << "0085000B"
                                                     << "234,441,648"
                                                     << "234,441,648"
                                                     << "ATA-8 ACS"
                                                     << "5"
                                                     << "yes"
                                                     << "no"
                                                     << "yes"
                                                     << "supported & enabled"
                                                     << "Drive healthy" << 14;
        QTest::newRow("FUJITSU_MHY2250BH--0085000B") << "FUJITSU MHY2250BH"
                                                     << "K432T81269H2"
                                                     << "0085000B"
                                                     << "268,435,455"
                                                     << "488,397,168"
                                                     << "ATA-8 ACS"
                                                     << "5"
                                                     << "yes"
                                                     << "no"
                                                     << "yes"
                                                     << "supported & enabled"
                                                     << "Drive healthy" << 14;
        QTest::newRow("FUJITSU_MHZ2160BH_G1--0084000A") << "FUJITSU MHZ2160BH G1"
                                                        << "K60WT8828LCB"
                                                        << "0084000A"
                                                        << "268,435,455"
                                                        << "312,581,808"
                                                        << "ATA-8 ACS"
                                                        << "5"
                                                        << "yes"
                                                        << "no"
                                                        << "no"
                                                        << "supported & enabled"
                                                        << "Drive healthy" << 21;
        QTest::newRow("INTEL_SSDSA2CW120G3--4PC10302") << "INTEL SSDSA2CW120G3"
                                                       << "CVPR109301UZ120LGN"
                                                       << "4PC10302"
                                                       << "234,441,648"
                                                       << "234,441,648"
                                                       << "ATA-8 ACS"
                                                       << "6"
                                                       << "yes"
                                                       << "yes"
                                                       << "yes"
                                                       << "supported & enabled"
                                                       << "Drive healthy" << 19;
        QTest::newRow("INTEL_SSDSA2MH080G1GC--045C8820") << "INTEL SSDSA2MH080G1GC"
                                                         << "CVEM842101HD080DGN"
                                                         << "045C8820"
                                                         << "156,301,488"
                                                         << "156,301,488"
                                                         << "ATA/ATAPI-7"
                                                         << "6"
                                                         << "yes"
                                                         << "no"
                                                         << "no"
                                                         << "supported & enabled"
                                                         << "Drive healthy" << 12;
        QTest::newRow("MCCOE64GEMPP--2.9.09") << "MCCOE64GEMPP"
                                              << "SE808N0608"
                                              << "2.9.09"
                                              << "117,231,408"
                                              << "n/a"
                                              << "ATA/ATAPI-7"
                                              << "4"
                                              << "yes"
                                              << "no"
                                              << "no"
                                              << "supported & enabled"
                                              << "Drive healthy" << 16;
        QTest::newRow("Maxtor_96147H8--BAC51KJ0") << "Maxtor 96147H8"
                                                  << "N80BR8EC"
                                                  << "BAC51KJ0"
                                                  << "120,060,864"
                                                  << "n/a"
                                                  << "ATA/ATAPI-6"
                                                  << "5"
                                                  << "no"
                                                  << "no"
                                                  << "no"
                                                  << "supported"
                                                  << "Drive healthy" << 30;
        QTest::newRow("Maxtor_96147H8--BAC51KJ0--2") << "Maxtor 96147H8"
                                                     << "N80BR8EC"
                                                     << "BAC51KJ0"
                                                     << "120,060,864"
                                                     << "n/a"
                                                     << "ATA/ATAPI-6"
                                                     << "5"
                                                     << "no"
                                                     << "no"
                                                     << "no"
                                                     << "supported"
                                                     << "Drive not healthy" << 30;
        QTest::newRow("SAMSUNG_HD501LJ--CR100-12") << "SAMSUNG HD501LJ"
                                                   << "S0MUJ1NQ110060"
                                                   << "CR100-12"
                                                   << "268,435,455"
                                                   << "976,773,168"
                                                   << "ATA-8 ACS"
                                                   << "6"
                                                   << "yes"
                                                   << "no"
                                                   << "no"
                                                   << "supported & enabled"
                                                   << "Drive healthy" << 23;
        QTest::newRow("SAMSUNG_MMCQE28G8MUP--0VA_VAM08L1Q") << "SAMSUNG MMCQE28G8MUP-0VA"
                                                            << "SE837A6888"
                                                            << "VAM08L1Q"
                                                            << "250,069,680"
                                                            << "250,069,680"
                                                            << "ATA/ATAPI-7"
                                                            << "5"
                                                            << "yes"
                                                            << "no"
                                                            << "yes"
                                                            << "supported & enabled"
                                                            << "Drive healthy" << 21;
        QTest::newRow("SAMSUNG_MP0804H--UE100-14") << "SAMSUNG MP0804H"
                                                   << "S042J10XC22323"
                                                   << "UE100-14"
                                                   << "156,368,016"
                                                   << "156,368,016"
                                                   << "ATA/ATAPI-7"
                                                   << "5"
                                                   << "yes"
                                                   << "no"
                                                   << "no"
                                                   << "supported & enabled"
                                                   << "Drive healthy" << 21;
        QTest::newRow("ST320410A--3.39") << "ST320410A"
                                         << "5FB3QF34"
                                         << "3.39    "
                                         << "39,100,223"
                                         << "n/a"
                                         << "ATA/ATAPI-6"
                                         << "5"
                                         << "yes"
                                         << "no"
                                         << "no"
                                         << "supported & enabled"
                                         << "Drive healthy" << 15;
        QTest::newRow("ST9100821AS--3.CME") << "ST9100821AS"
                                            << "5NJ0R13A"
                                            << "3.CME   "
                                            << "195,371,568"
                                            << "195,371,568"
                                            << "ATA/ATAPI-7"
                                            << "5"
                                            << "yes"
                                            << "no"
                                            << "no"
                                            << "supported & enabled"
                                            << "Drive healthy" << 24;
        QTest::newRow("ST9160821AS--3.CLH") << "ST9160821AS"
                                            << "5MAC2QTA"
                                            << "3.CLH   "
                                            << "268,435,455"
                                            << "312,581,808"
                                            << "ATA/ATAPI-7"
                                            << "5"
                                            << "yes"
                                            << "no"
                                            << "yes"
                                            << "supported & enabled"
                                            << "Drive healthy" << 22;
        QTest::newRow("TOSHIBA_MK1651GSY--38IGT0G5T") << "TOSHIBA MK1651GSY"
                                                      << "38IGT0G5T"
                                                      << "LD001D  "
                                                      << "268,435,455"
                                                      << "312,581,808"
                                                      << "ATA-8 ACS"
                                                      << "5"
                                                      << "yes"
                                                      << "no"
                                                      << "yes"
                                                      << "supported & enabled"
                                                      << "Drive healthy" << 15;
        QTest::newRow("WDC_WD2500JB--00REA0-20.00K20") << "WDC WD2500JB-00REA0"
                                                       << "WD-WMANK4051741"
                                                       << "20.00K20"
                                                       << "268,435,455"
                                                       << "488,397,168"
                                                       << "ATA/ATAPI-7"
                                                       << "4"
                                                       << "yes"
                                                       << "no"
                                                       << "no"
                                                       << "supported & enabled"
                                                       << "DEVICE DATA NOT AVAILABLE" << 15;
        QTest::newRow("WDC_WD2500JS-75NCB3--10.02E04") << "WDC WD2500JS-75NCB3"
                                                       << "WD-WCANKH572006"
                                                       << "10.02E04"
                                                       << "268,435,455"
                                                       << "488,281,250"
                                                       << "ATA/ATAPI-7"
                                                       << "6"
                                                       << "yes"
                                                       << "no"
                                                       << "no"
                                                       << "supported & enabled"
                                                       << "Drive healthy" << 16;
        QTest::newRow("WDC_WD5000AAKS--00TMA0-12.01C01") << "WDC WD5000AAKS-00TMA0"
                                                         << "WD-WCAPW0493929"
                                                         << "12.01C01"
                                                         << "268,435,455"
                                                         << "976,773,168"
                                                         << "ATA/ATAPI-7"
                                                         << "5"
                                                         << "yes"
                                                         << "no"
                                                         << "no"
                                                         << "supported & enabled"
                                                         << "Drive healthy" << 17;
    }
    void identity()
    {
        Drive drive;
        QVERIFY(load(QTest::currentDataTag(), drive));
        const Ata &ata = *drive.ata;
        const QString general = QStringLiteral("General information");
        const QString geometry = QStringLiteral("Disk geometry");
        const QString security = QStringLiteral("Security status");
        QTEST(rowValue(ata, general, "Model number").toString(), "model");
        QTEST(rowValue(ata, general, "Serial number").toString(), "serial");
        QTEST(rowValue(ata, general, "Firmware revision").toString(), "firmware");
        QTEST(rowValue(ata, geometry, "Number of user addressable sectors (28-bit)").toString(), "sectors28");
        QTEST(rowValue(ata, geometry, "Number of user addressable sectors (48-bit)").toString(), "sectors48");
        QTEST(ata.standardText(), "standard");
        QTEST(rowValue(ata, "Mode support", "Selected Ultra DMA modes").toString(), "ultraDma");
        QTEST(rowValue(ata, security, "Supported").toString(), "securitySupported");
        QTEST(rowValue(ata, security, "Enabled").toString(), "securityEnabled");
        QTEST(rowValue(ata, security, "Frozen").toString(), "securityFrozen");
        QTEST(rowValue(ata, "Capabilities", "Write Cache").toString(), "writeCache");
        // Every one of these drives has S.M.A.R.T. switched on and signs its block.
        QCOMPARE(rowValue(ata, "Feature sets", "S.M.A.R.T. Feature Set").toString(),
                 QStringLiteral("supported & enabled"));
        const ChecksumVerdict checksum = checksumVerdict(drive.snapshot.identify);
        QCOMPARE(checksum.text, QStringLiteral("Checksum valid"));
        QCOMPARE(checksum.verdict, Verdict::Ok);
        QTEST(smartHealth(drive.smart.get()).text, "health");
        QTEST(int(decodeSmartRecords(drive.snapshot.attributeRecords, nullptr).size()), "attributes");
        QAbstractItemModelTester ataTester(drive.ata.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        if (drive.smart)
            QAbstractItemModelTester smartTester(drive.smart.get(),
                                                 QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    void attribute_data()
    {
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QStringList>("row"); // the six cells of the attribute's row
        const auto add = [](const char *drive, const QStringList &row) {
            QTest::addRow("%s %s", drive, qPrintable(row[0])) << QString::fromLatin1(drive) << row;
        };
        add("FUJITSU_MHY2120BH--0084000D", {"C2h", "Temperature Celsius", "100", "100", "0", "00 36 00 0F 00 1C"});
        add("FUJITSU_MHY2250BH--0085000B",
            {"05h", "Reallocated Sectors Count", "100", "100", "24", "07 D0 00 00 00 00"});
        add("FUJITSU_MHZ2160BH_G1--0084000A", {"09h", "Power-on Hours Count", "99", "99", "0", "00 00 00 00 03 A1"});
        add("INTEL_SSDSA2CW120G3--4PC10302", {"E8h", "Endurance Remaining", "100", "100", "10", "00 00 00 00 00 00"});
        add("INTEL_SSDSA2CW120G3--4PC10302", {"F2h", "Total LBAs Read", "100", "100", "0", "00 00 00 00 12 1A"});
        add("INTEL_SSDSA2MH080G1GC--045C8820", {"09h", "Power-on Hours Count", "100", "100", "0", "00 00 00 00 09 05"});
        add("MCCOE64GEMPP--2.9.09", {"05h", "Reallocated Sectors Count", "85", "85", "1", "00 00 00 24 50 00"});
        add("Maxtor_96147H8--BAC51KJ0", {"60h", "Unknown Attribute 96", "253", "253", "0", "00 00 00 00 00 00"});
        add("Maxtor_96147H8--BAC51KJ0--2", {"09h", "Power-on Hours Count", "247", "247", "0", "00 00 00 02 12 54"});
        add("SAMSUNG_HD501LJ--CR100-12", {"C2h", "Temperature Celsius", "97", "88", "0", "00 00 00 00 00 2F"});
        add("SAMSUNG_MMCQE28G8MUP--0VA_VAM08L1Q",
            {"B2h", "Unknown Attribute 178", "91", "91", "11", "00 00 00 00 00 0A"});
        add("SAMSUNG_MP0804H--UE100-14", {"FFh", "Unknown Attribute 255", "100", "100", "51", "00 00 00 00 00 00"});
        add("ST320410A--3.39", {"C2h", "Temperature Celsius", "40", "61", "0", "00 00 00 00 00 28"});
        add("ST9100821AS--3.CME", {"09h", "Power-on Hours Count", "96", "96", "0", "70 B3 00 00 11 19"});
        add("ST9160821AS--3.CLH", {"05h", "Reallocated Sectors Count", "100", "100", "36", "00 00 00 00 00 00"});
        add("TOSHIBA_MK1651GSY--38IGT0G5T", {"C2h", "Temperature Celsius", "100", "100", "0", "00 35 00 0F 00 29"});
        add("WDC_WD2500JB--00REA0-20.00K20", {"C2h", "Temperature Celsius", "133", "88", "0", "00 00 00 00 00 11"});
        add("WDC_WD2500JS-75NCB3--10.02E04",
            {"05h", "Reallocated Sectors Count", "200", "200", "140", "00 00 00 00 00 00"});
        add("WDC_WD5000AAKS--00TMA0-12.01C01",
            {"05h", "Reallocated Sectors Count", "192", "192", "140", "00 00 00 00 00 3F"});
    }
    void attribute()
    {
        QFETCH(QString, drive);
        QFETCH(QStringList, row);
        Drive d;
        QVERIFY(load(drive, d));
        const Smart smart(decodeSmartRecords(d.snapshot.attributeRecords, nullptr), true);
        int found = -1;
        for (int r = 0; r < smart.rowCount(); ++r)
            if (cell(smart, r, 0) == row[0])
                found = r;
        QVERIFY2(found >= 0, qPrintable(row[0]));
        for (int column = 0; column < 6; ++column)
            QCOMPARE(cell(smart, found, column), row[column]);
    }

    // skdump (libatasmart-bin) decodes the same snapshots on its own: every
    // attribute's id, value, worst, threshold and raw bytes must agree.
    void attributesAgreeWithSkdump_data()
    {
        QTest::addColumn<QString>("drive");
        for (const QString &name : QDir(AtaFixtures::realDriveDir()).entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << name;
    }
    void attributesAgreeWithSkdump()
    {
        QFETCH(QString, drive);
        const QString skdump = QStandardPaths::findExecutable(QStringLiteral("skdump"), {"/usr/sbin", "/sbin"});
        if (skdump.isEmpty())
            QSKIP("skdump (package libatasmart-bin) is not installed.");
        QProcess run;
        run.start(skdump, {QStringLiteral("--load=") + AtaFixtures::realDriveDir() + QLatin1Char('/') + drive});
        QVERIFY(run.waitForFinished(30000));
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
            // skdump says "n/a" for values it deems invalid; those are not compared.
            expected.append({QString::number(m.captured(1).toInt(), 16).toUpper().rightJustified(2, '0') + 'h',
                             m.captured(2), m.captured(3), m.captured(4), bytes.join(' ')});
        }
        QVERIFY(!expected.isEmpty());

        Drive d;
        QVERIFY(load(drive, d));
        const Smart smart(decodeSmartRecords(d.snapshot.attributeRecords, nullptr), true);
        QCOMPARE(smart.rowCount(), int(expected.size()));
        for (int r = 0; r < smart.rowCount(); ++r) {
            QStringList ours{cell(smart, r, 0), cell(smart, r, 2), cell(smart, r, 3), cell(smart, r, 4),
                             cell(smart, r, 5)};
            for (int i = 0; i < ours.size(); ++i)
                if (expected[r][i] == QLatin1String("n/a"))
                    ours[i] = expected[r][i];
            QCOMPARE(ours, expected[r]);
        }

        // Power-on time and temperatures, wherever skdump gives them, agree with our
        // decoded values to skdump's one decimal ("3.1 months").
        const QList<SmartAttribute> attributes = attributesOf(d);
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

    void failingDrive()
    {
        Drive d;
        QVERIFY(load(QStringLiteral("Maxtor_96147H8--BAC51KJ0--2"), d));
        QVERIFY(d.smart);
        QVERIFY(!d.smart->healthy());
        const HealthVerdict v = smartHealth(d.smart.get());
        QCOMPARE(v.text, QStringLiteral("Drive not healthy"));
        QCOMPARE(v.verdict, Verdict::Error);
        QVERIFY(v.iconShown);
        // Its spin retry count (0Ah, value 212 against threshold 223) is the failing attribute.
        QStringList failing;
        for (const SmartAttribute &a : d.smart->attributes())
            if (attributeState(a) == AttributeState::Failing)
                failing << smartAttributeName(a.id);
        QCOMPARE(failing, QStringList{"Spin Retry Count"});
    }
};

QTEST_MAIN(TestAtaRealDrives)
#include "tst_ata_realdrives.moc"
