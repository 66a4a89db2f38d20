// The ATA tab model over synthetic IDENTIFY blocks: standard levels, sections,
// transport and world wide name rules, transfer modes, erase times,
// CompactFlash, checksum verdicts and the model's roles.
#include "model/Roles.h"
#include "AtaFixtures.h"

#include "platform/Log.h"
#include "model/Ata.h"
#include "model/AtaStatus.h"

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QRandomGenerator>
#include <QTest>
#include <QTranslator>

using namespace Applications::DriveScope::Model;
using AtaFixtures::IdentifyBlock;
using AtaFixtures::rowValue;

namespace {

// Counts log lines that pass the filter.
class CapturingPrinter : public SysLogPrinter {
public:
    void write(const char *data, size_t length) override { text.append(QString::fromUtf8(data, qsizetype(length))); }
    QString text;
};

const QString general = QStringLiteral("General information");
const QString geometry = QStringLiteral("Disk geometry");
const QString modeSection = QStringLiteral("Mode support");
const QString timings = QStringLiteral("Timings");

// A block at the given level through its major version bit (1..11).
IdentifyBlock atLevel(int level)
{
    IdentifyBlock b;
    b.set(80, quint16(1u << level));
    return b;
}

// Translates the IDENTIFY texts of the program's domain by key.
class KeyTranslator : public QTranslator {
public:
    QString translate(const char *context, const char *, const char *key, int) const override
    {
        if (qstrcmp(context, "quill.drivescope") == 0 && qstrcmp(key, "ata.id.gen.na") == 0)
            return QStringLiteral("k. A.");
        if (qstrcmp(context, "quill.drivescope") == 0 && qstrcmp(key, "ata.id.ata1.w10") == 0)
            return QStringLiteral("Seriennummer");
        return {};
    }
    bool isEmpty() const override { return false; }
};

} // namespace

class TestAta : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void level_data()
    {
        QTest::addColumn<int>("w80");
        QTest::addColumn<int>("w81");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("major");
        QTest::addColumn<QString>("minor");
        QTest::addColumn<QString>("standard");
        QTest::newRow("ACS with minor code") << 0x01F0 << 0x0028 << 8 << "ATA-8 ACS"
                                             << "ATA8-ACS version 6"
                                             << "ATA-8 ACS";
        QTest::newRow("ATA-1 only") << 0x0002 << 0 << 1 << "ATA-1"
                                    << "n/a"
                                    << "ATA-1";
        QTest::newRow("ACS-4") << 0x0FFE << 0 << 11 << "ATA-8 ACS-4"
                               << "n/a"
                               << "ATA-8 ACS-4";
        QTest::newRow("reserved bit") << 0x1000 << 0 << 12 << "> ATA-8 ACS-4"
                                      << "n/a"
                                      << "> ATA-8 ACS-4";
        QTest::newRow("reserved bit 0") << 0x0011 << 0 << 12 << "> ATA-8 ACS-4"
                                        << "n/a"
                                        << "> ATA-8 ACS-4";
        QTest::newRow("minor level higher") << 0x001E << 0x0082 << 9 << "ATA/ATAPI-4"
                                            << "ACS-2 published, ANSI INCITS 482-2012"
                                            << "ATA-8 ACS-2";
        QTest::newRow("major level higher") << 0x0200 << 0x0004 << 9 << "ATA-8 ACS-2"
                                            << "ATA-2 published, ANSI X3.279-1996"
                                            << "ATA-8 ACS-2";
        QTest::newRow("unknown minor only") << 0 << 0x1234 << 2 << "n/a"
                                            << "Unknown (1234h)"
                                            << "ATA-2";
        QTest::newRow("known minor only") << 0 << 0x006D << 10 << "n/a"
                                          << "ACS-3 Revision 5"
                                          << "ATA-8 ACS-3";
        QTest::newRow("all zero") << 0 << 0 << 2 << "ATA-1 or ATA-2"
                                  << "n/a"
                                  << "ATA-2";
        QTest::newRow("all ones") << 0xFFFF << 0xFFFF << 2 << "ATA-1 or ATA-2"
                                  << "n/a"
                                  << "ATA-2";
        QTest::newRow("ATAPI-7") << 0x00FE << 0x001D << 7 << "ATA/ATAPI-7"
                                 << "ATA/ATAPI-7 published, ANSI INCITS 397-2005"
                                 << "ATA/ATAPI-7";
    }
    void level()
    {
        QFETCH(int, w80);
        QFETCH(int, w81);
        const Ata ata(IdentifyBlock().set(80, quint16(w80)).set(81, quint16(w81)).bytes());
        QTEST(ata.level(), "level");
        QTEST(rowValue(ata, general, "Major version number").toString(), "major");
        QTEST(rowValue(ata, general, "Minor version number").toString(), "minor");
        QTEST(ata.standardText(), "standard");
        QFETCH(QString, standard);
        QCOMPARE(ataStandardLabel(&ata), QStringLiteral("ATA Standard: ") + standard);
    }

    void newerVersionIsLoggedOnce()
    {
        CapturingPrinter printer;
        SysLogStream::setStdOutPrinter(&printer);
        SysLogFilter::setLevel(1);
        const int channel = SysLogFilter::reg("ATA Model");
        SysLogFilter::setState(channel, true);
        const Ata newer(IdentifyBlock().set(80, 0x1000).bytes());
        const Ata known(IdentifyBlock().set(80, 0x01F0).bytes());
        SysLogStream::setStdOutPrinter(nullptr);
        QCOMPARE(printer.text.count(QStringLiteral("Newer version than highest supported")), 1);
    }

    void sections_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QStringList>("sections");
        const QStringList always{"General information", "Disk geometry", "Capabilities"};
        QTest::newRow("all zero (level 2)")
            << IdentifyBlock().bytes() << QStringList{"General information", "Disk geometry", "Capabilities",
                                                      "Read/Write Multiple", "Mode support",  "Timings"};
        QTest::newRow("level 3")
            << atLevel(3).bytes()
            << QStringList{"General information", "Disk geometry", "Capabilities",    "Commands", "Feature sets",
                           "Read/Write Multiple", "Mode support",  "Security status", "Timings"};
        QTest::newRow("level 7 with streaming") << atLevel(7).set(84, 0x0010).bytes()
                                                << QStringList{"General information",
                                                               "Disk geometry",
                                                               "Capabilities",
                                                               "Commands",
                                                               "Feature sets",
                                                               "Read/Write Multiple",
                                                               "Mode support",
                                                               "Security status",
                                                               "Power & Acoustic Management",
                                                               "Streaming",
                                                               "Timings"};
        QTest::newRow("level 8") << atLevel(8).bytes()
                                 << QStringList{"General information",
                                                "Disk geometry",
                                                "Capabilities",
                                                "SATA capabilities",
                                                "Commands",
                                                "Feature sets",
                                                "SCT Command Transport",
                                                "Write-Read-Verify",
                                                "Read/Write Multiple",
                                                "NV Cache",
                                                "Mode support",
                                                "DOWNLOAD MICROCODE command",
                                                "Security status",
                                                "Power & Acoustic Management",
                                                "Timings"};
        QTest::newRow("CompactFlash")
            << IdentifyBlock().set(0, 0x848A).set(80, 0x01F0).bytes()
            << QStringList{"General information", "Disk geometry", "Capabilities", "Read/Write Multiple",
                           "Mode support",        "CompactFlash",  "Timings"};
    }
    void sections()
    {
        QFETCH(QByteArray, block);
        const Ata ata(block);
        QTEST(AtaFixtures::sectionNames(ata), "sections");
        QList<int> headers;
        for (int i = 0; i < ata.rows().size(); ++i)
            if (ata.rows()[i].header)
                headers.append(i);
        QCOMPARE(ata.headerRows(), headers);
        QCOMPARE(ata.headerRows().value(0), 0);
    }

    void rowConditions_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QVariant>("value"); // invalid: the row is absent
        const QString sata = QStringLiteral("SATA capabilities");
        const QString commands = QStringLiteral("Commands");
        const QString features = QStringLiteral("Feature sets");
        QTest::newRow("gen3 absent at 8")
            << atLevel(8).set(76, 0x0008).bytes() << sata << "SATA Gen3 Signaling Speed (6.0 Gb/s)" << QVariant();
        QTest::newRow("gen3 at 11") << atLevel(11).set(76, 0x0008).bytes() << sata
                                    << "SATA Gen3 Signaling Speed (6.0 Gb/s)" << QVariant("supported");
        QTest::newRow("negotiated gen3") << atLevel(11).set(77, 0x0006).bytes() << sata
                                         << "Negotiated SATA Signaling Speed"
                                         << QVariant("SATA Gen3 Signaling Speed (6.0 Gb/s)");
        QTest::newRow("negotiated gen2") << atLevel(11).set(77, 0x0004).bytes() << sata
                                         << "Negotiated SATA Signaling Speed"
                                         << QVariant("SATA Gen2 Signaling Speed (3.0 Gb/s)");
        QTest::newRow("negotiated none") << atLevel(11).bytes() << sata << "Negotiated SATA Signaling Speed"
                                         << QVariant("n/a");
        QTest::newRow("negotiated absent at 8")
            << atLevel(8).set(77, 0x0006).bytes() << sata << "Negotiated SATA Signaling Speed" << QVariant();
        QTest::newRow("SMART at 3 without enabled") << atLevel(3).set(82, 1).set(85, 1).bytes() << features
                                                    << "S.M.A.R.T. Feature Set" << QVariant("supported");
        QTest::newRow("SMART at 4 enabled") << atLevel(4).set(82, 1).set(85, 1).bytes() << features
                                            << "S.M.A.R.T. Feature Set" << QVariant("supported & enabled");
        QTest::newRow("security at 4 not supported")
            << atLevel(4).set(85, 2).bytes() << features << "Security Feature Set" << QVariant("-");
        QTest::newRow("optional 28-bit clear")
            << atLevel(9).bytes() << commands << "Optional ATA 28-bit commands" << QVariant("supported");
        QTest::newRow("optional 28-bit set")
            << atLevel(9).set(69, 0x40).bytes() << commands << "Optional ATA 28-bit commands" << QVariant("-");
        QTest::newRow("SET MAX at 10") << atLevel(10).set(83, 0x100).bytes() << commands << "SET MAX security extension"
                                       << QVariant("supported");
        QTest::newRow("SET MAX gone at 11")
            << atLevel(11).set(83, 0x100).bytes() << commands << "SET MAX security extension" << QVariant();
        QTest::newRow("sectors per interrupt") << IdentifyBlock().set(59, 0x0110).bytes() << "Read/Write Multiple"
                                               << "Current number of sectors per interrupt" << QVariant("16");
        QTest::newRow("sectors per interrupt invalid")
            << IdentifyBlock().set(59, 0x0010).bytes() << "Read/Write Multiple"
            << "Current number of sectors per interrupt" << QVariant("n/a");
        QTest::newRow("fixed media") << atLevel(8).set(217, 1).bytes() << general << "Norminal media rotation rate"
                                     << QVariant("Fixed media");
        QTest::newRow("7200 rpm") << atLevel(8).set(217, 7200).bytes() << general << "Norminal media rotation rate"
                                  << QVariant("7,200 rpm");
        QTest::newRow("reserved rotation") << atLevel(8).set(217, 0x0400).bytes() << general
                                           << "Norminal media rotation rate" << QVariant("Unknown (0400h)");
        QTest::newRow("form factor") << atLevel(8).set(168, 0x0003).bytes() << general << "Nominal form factor"
                                     << QVariant("2.5 inch");
        QTest::newRow("form factor unknown")
            << atLevel(8).set(168, 0x0009).bytes() << general << "Nominal form factor" << QVariant("Unknown (9)");
        QTest::newRow("buffer size") << IdentifyBlock().set(20, 3).set(21, 4096).bytes() << general << "Buffer size"
                                     << QVariant("4,096 * 512 = 2,097,152");
        QTest::newRow("buffer type unknown")
            << IdentifyBlock().set(20, 7).bytes() << general << "Buffer type" << QVariant("Unknown (7)");
        // NCQ drives report 31 in w75:0-4, a depth of 32.
        QTest::newRow("queue depth 32") << atLevel(8).set(75, 0x001F).bytes() << general << "Maximum queue depth"
                                        << QVariant(32);
        QTest::newRow("queue depth absent at 5")
            << atLevel(5).set(75, 0x001F).bytes() << general << "Maximum queue depth" << QVariant();
        QTest::newRow("free-fall sensitivity")
            << atLevel(8).set(53, 0x8006).bytes() << general << "Free-fall Control Sensitivity" << QVariant("128");
        QTest::newRow("transfer rate") << IdentifyBlock().set(0, 0x0200).bytes() << general << "Transfer Rate"
                                       << QVariant("> 5 Mb/s & <= 10 Mb/s");
        // ATA/ATAPI-6 brought 48-bit addressing; its drives above 128 GiB need the row.
        QTest::newRow("48-bit at level 6")
            << atLevel(6).set(83, 0x0400).set(100, 0x5970).set(101, 0x1D1C).bytes() << geometry
            << "Number of user addressable sectors (48-bit)" << QVariant("488,397,168");
        QTest::newRow("48-bit not supported") << atLevel(7).set(100, 5).bytes() << geometry
                                              << "Number of user addressable sectors (48-bit)" << QVariant("n/a");
        QTest::newRow("current geometry unsure")
            << atLevel(5).set(54, 16383).bytes() << geometry << "Current Cylinders" << QVariant("16,383 (?)");
        QTest::newRow("current geometry valid")
            << atLevel(5).set(53, 1).set(54, 16383).bytes() << geometry << "Current Cylinders" << QVariant("16,383");
        QTest::newRow("current geometry gone at 6")
            << atLevel(6).set(53, 1).bytes() << geometry << "Current Cylinders" << QVariant();
        QTest::newRow("4K physical sectors") << atLevel(8).set(106, 0x6003).bytes() << geometry
                                             << "Logical sectors per physical sector" << QVariant("8");
        QTest::newRow("sector words invalid")
            << atLevel(8).set(106, 0x2003).bytes() << geometry << "Logical sectors per physical sector" << QVariant();
        QTest::newRow("master password") << atLevel(5).set(92, 0xFFFE).bytes() << "Security status"
                                         << "Master password revision code" << QVariant("FFFEh");
        QTest::newRow("security level") << atLevel(5).set(128, 0x0100).bytes() << "Security status"
                                        << "Level" << QVariant("maximum");
        QTest::newRow("APM level without reserved byte")
            << atLevel(5).set(91, 0x4080).bytes() << "Power & Acoustic Management"
            << "Current APM value" << QVariant(0x80);
        QTest::newRow("AAM recommended") << atLevel(5).set(94, 0xFE80).bytes() << "Power & Acoustic Management"
                                         << "Recommended AAM value" << QVariant(254);
        // 0x20 (w80) + 0xA5 needs 0x3B to sum to 0.
        QTest::newRow("checksum row") << atLevel(5).sign().bytes() << general << "Checksum" << QVariant("3Bh");
        QTest::newRow("checksum row unsigned")
            << atLevel(5).set(255, 0x1234).bytes() << general << "Checksum" << QVariant("n/a");
        QTest::newRow("spin up time") << atLevel(8).set(219, 0x0312).bytes() << "NV Cache"
                                      << "Estimated time to spin up" << QVariant("18 s");
        QTest::newRow("WRV sector count") << atLevel(8).set(212, 0x0001).set(213, 0x0002).bytes() << "Write-Read-Verify"
                                          << "Sector Count Mode 2" << QVariant(uint(0x20001));
    }
    void rowConditions()
    {
        QFETCH(QByteArray, block);
        QFETCH(QString, section);
        QFETCH(QString, label);
        QFETCH(QVariant, value);
        const QVariant actual = rowValue(Ata(block), section, label);
        QCOMPARE(actual.isValid(), value.isValid());
        if (value.isValid())
            QCOMPARE(actual, value);
    }

    void transport_data()
    {
        QTest::addColumn<int>("w222");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("versions");
        QTest::newRow("serial") << 0x1046 << "Serial"
                                << "SATA 1.0a\nSATA II: Extensions\nSATA Rev 3.1";
        QTest::newRow("serial other") << 0x1C01 << "Serial"
                                      << "ATA8-AST\nOther (0C00h)";
        QTest::newRow("parallel") << 0x0001 << "Parallel"
                                  << "ATA8-APT";
        QTest::newRow("parallel other") << 0x0006 << "Parallel"
                                        << "ATA/ATAPI-7\nOther (0004h)";
        QTest::newRow("parallel empty") << 0x0000 << "n/a"
                                        << "n/a";
        QTest::newRow("unset") << 0xFFFF << "n/a"
                               << "n/a";
        QTest::newRow("PCIe") << 0xE010 << "PCIe"
                              << "Other (0010h)";
        QTest::newRow("unknown type") << 0x3005 << "Unknown (3)"
                                      << "Unknown (0005h)";
        QTest::newRow("serial no bits") << 0x1000 << "Serial"
                                        << "";
    }
    void transport()
    {
        QFETCH(int, w222);
        const Ata ata(atLevel(8).set(222, quint16(w222)).bytes());
        QTEST(rowValue(ata, general, "Transport Type").toString(), "type");
        QTEST(rowValue(ata, general, "Major Transport Version").toString(), "versions");
    }

    void worldWideName_data()
    {
        QTest::addColumn<QList<int>>("words");
        QTest::addColumn<QString>("text");
        QTest::newRow("NAA 5") << QList<int>{0x5001, 0x5179, 0x594F, 0x0F14} << "IEEE 001517h 9594F0F14h";
        QTest::newRow("top serial bits") << QList<int>{0x5FFF, 0xFFFF, 0xFFFF, 0xFFFF} << "IEEE FFFFFFh FFFFFFFFFh";
        QTest::newRow("zero") << QList<int>{0, 0, 0, 0} << "";
        QTest::newRow("other NAA") << QList<int>{0x6001, 0x0002, 0x0003, 0x0004} << "Unknown (6001h 0002h 0003h 0004h)";
    }
    void worldWideName()
    {
        QFETCH(QList<int>, words);
        IdentifyBlock b = atLevel(7).set(84, 0x0100);
        for (int i = 0; i < 4; ++i)
            b.set(108 + i, quint16(words[i]));
        QTEST(rowValue(Ata(b.bytes()), general, "World Wide Name").toString(), "text");
        QVERIFY(!rowValue(Ata(atLevel(7).set(108, 0x5001).bytes()), general, "World Wide Name").isValid());
    }

    void textFields()
    {
        const Ata ata(IdentifyBlock().text(27, 20, "  ABCD").text(23, 4, "1.0").text(10, 10, "SN42").bytes());
        QCOMPARE(rowValue(ata, general, "Model number").toString(), QStringLiteral("ABCD"));
        QCOMPARE(rowValue(ata, general, "Firmware revision").toString(), QStringLiteral("1.0     "));
        QCOMPARE(rowValue(ata, general, "Serial number").toString(), QStringLiteral("SN42"));
        const Ata cut(IdentifyBlock().text(27, 20, "ABCDEFGH").set(29, 0).bytes());
        QCOMPARE(rowValue(cut, general, "Model number").toString(), QStringLiteral("ABCD"));
    }

    void modes_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QVariantList>("values");
        const QStringList dma{"Maximum Singleword DMA mode supported", "Selected Singleword DMA modes",
                              "Maximum Multiword DMA mode supported",  "Selected Multiword DMA modes",
                              "Maximum Ultra DMA mode supported",      "Selected Ultra DMA modes"};
        QTest::newRow("ultra 5 selected")
            << atLevel(7).set(53, 0x0006).set(64, 3).set(63, 0x0407).set(88, 0x203F).bytes()
            << (QStringList{"Maximum advanced PIO mode"} + dma)
            << QVariantList{"4", "none", "n/a", qulonglong(2), "2", qulonglong(5), "5"};
        QTest::newRow("singleword without selection")
            << atLevel(7).set(62, 0x0007).bytes() << dma
            << QVariantList{qulonglong(2), "none", "none", "n/a", "none", "n/a"};
        QTest::newRow("several selected") << atLevel(7).set(62, 0x0503).set(53, 4).set(88, 0x0501).bytes() << dma
                                          << QVariantList{qulonglong(1), "0, 2", "none", "n/a", qulonglong(0), "0, 2"};
        QTest::newRow("ultra needs w53:2")
            << atLevel(7).set(88, 0x203F).bytes() << dma.mid(4) << QVariantList{"none", "n/a"};
        QTest::newRow("ultra absent below 4")
            << atLevel(3).set(53, 4).set(88, 0x203F).bytes() << dma.mid(4) << QVariantList{QVariant(), QVariant()};
        QTest::newRow("PIO 3") << IdentifyBlock().set(53, 2).set(64, 1).bytes()
                               << QStringList{"Maximum advanced PIO mode"} << QVariantList{"3"};
        QTest::newRow("PIO 2") << IdentifyBlock().set(53, 2).bytes() << QStringList{"Maximum advanced PIO mode"}
                               << QVariantList{"2"};
        QTest::newRow("PIO unknown") << IdentifyBlock().set(53, 2).set(64, 7).bytes()
                                     << QStringList{"Maximum advanced PIO mode"} << QVariantList{"Unknown (7)"};
        QTest::newRow("PIO absent without w53:1")
            << IdentifyBlock().set(64, 3).bytes() << QStringList{"Maximum advanced PIO mode"}
            << QVariantList{QVariant()};
    }
    void modes()
    {
        QFETCH(QByteArray, block);
        QFETCH(QStringList, labels);
        QFETCH(QVariantList, values);
        const Ata ata(block);
        for (int i = 0; i < labels.size(); ++i)
            QCOMPARE(rowValue(ata, modeSection, labels[i]), values[i]);
    }

    void cycleTimesNeedWord53()
    {
        const QString label = QStringLiteral("Minimum PIO cycle time with flow control");
        QVERIFY(!rowValue(Ata(IdentifyBlock().set(68, 120).bytes()), timings, label).isValid());
        QCOMPARE(rowValue(Ata(IdentifyBlock().set(53, 2).set(68, 120).bytes()), timings, label).toString(),
                 QStringLiteral("120 ns"));
    }

    void eraseTime_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("w89");
        QTest::addColumn<QVariant>("text");
        QTest::newRow("short format") << 5 << 0x0014 << QVariant("40 min");
        QTest::newRow("short format maximum") << 8 << 0x00FF << QVariant("> 508 min");
        QTest::newRow("short format high byte ignored") << 8 << 0x7F14 << QVariant("40 min");
        QTest::newRow("short format zero") << 8 << 0 << QVariant("n/a");
        QTest::newRow("extended by bit 15") << 8 << 0x8100 << QVariant("512 min");
        QTest::newRow("extended zero") << 9 << 0x8000 << QVariant("n/a");
        QTest::newRow("extended maximum") << 9 << 0x7FFF << QVariant("> 65,532 min");
        QTest::newRow("extended at level 9") << 9 << 0x0100 << QVariant("512 min");
        QTest::newRow("absent at level 4") << 4 << 0x0014 << QVariant();
    }
    void eraseTime()
    {
        QFETCH(int, level);
        QFETCH(int, w89);
        QTEST(rowValue(Ata(atLevel(level).set(89, quint16(w89)).bytes()), timings,
                       "Time required for normal security erase"),
              "text");
    }

    void compactFlash()
    {
        const Ata ata(IdentifyBlock()
                          .set(0, 0x848A)
                          .set(7, 0x0001)
                          .set(8, 0xE848)
                          .set(80, 0x00FE)
                          .set(81, 0x001D)
                          .set(63, 0x0107)
                          .set(160, 0xA064)
                          .set(163, 0x0492) // PIO 6 max and current, multiword 4 max and 3+4 selected
                          .set(164, 0x0009)
                          .bytes());
        QVERIFY(ata.isCompactFlash());
        QCOMPARE(ata.level(), 0);
        QCOMPARE(ata.standardText(), QStringLiteral("Unknown"));
        QCOMPARE(rowValue(ata, general, "Major version number").toString(), QStringLiteral("n/a"));
        QCOMPARE(rowValue(ata, general, "Minor version number").toString(), QStringLiteral("n/a"));
        QCOMPARE(rowValue(ata, geometry, "Number of sectors per card").toString(), QStringLiteral("125,000"));
        const QString cf = QStringLiteral("CompactFlash");
        QCOMPARE(rowValue(ata, cf, "CFA Power Mode 1 required").toString(), QStringLiteral("yes"));
        QCOMPARE(rowValue(ata, cf, "Maxmium current").toString(), QStringLiteral("100 mA"));
        QCOMPARE(rowValue(ata, cf, "Maximum PCMCIA I/O timing mode").toString(), QStringLiteral("120 ns Cycle"));
        QCOMPARE(rowValue(ata, cf, "Maximum memory timing mode").toString(), QStringLiteral("120 ns Cycle"));
        QCOMPARE(rowValue(ata, modeSection, "Maximum advanced PIO mode").toString(), QStringLiteral("6"));
        QCOMPARE(rowValue(ata, modeSection, "Current advanced PIO mode").toString(), QStringLiteral("6"));
        QCOMPARE(rowValue(ata, modeSection, "Maximum Multiword DMA mode supported"), QVariant(qulonglong(4)));
        QCOMPARE(rowValue(ata, modeSection, "Selected Multiword DMA modes").toString(), QStringLiteral("0, 3, 4"));

        // The CFA feature bit alone marks CompactFlash too; power rows need w160:15.
        const Ata byFeature(IdentifyBlock().set(83, 0x0004).set(160, 0x2064).set(164, 0x001B).bytes());
        QVERIFY(byFeature.isCompactFlash());
        QVERIFY(!rowValue(byFeature, cf, "Maxmium current").isValid());
        QCOMPARE(rowValue(byFeature, cf, "Maximum PCMCIA I/O timing mode").toString(), QStringLiteral("80 ns Cycle"));
        QCOMPARE(rowValue(byFeature, cf, "Maximum memory timing mode").toString(), QStringLiteral("80 ns Cycle"));
        const Ata unknownTiming(IdentifyBlock().set(0, 0x848A).set(164, 0x0025).bytes());
        QCOMPARE(rowValue(unknownTiming, cf, "Maximum PCMCIA I/O timing mode").toString(),
                 QStringLiteral("Unknown (5)"));
        QCOMPARE(rowValue(unknownTiming, cf, "Maximum memory timing mode").toString(), QStringLiteral("Unknown (4)"));
    }

    void checksum_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("verdict");
        const QByteArray signedBlock = atLevel(8).text(27, 20, "MODEL").sign().bytes();
        QByteArray corrupted = signedBlock;
        corrupted[100] = char(corrupted[100] ^ 0x01);
        QTest::newRow("valid") << signedBlock << "Checksum valid" << int(Verdict::Ok);
        QTest::newRow("invalid") << corrupted << "Checksum invalid" << int(Verdict::Error);
        QTest::newRow("missing") << atLevel(8).bytes() << "Checksum missing" << int(Verdict::Warning);
        QTest::newRow("short block") << signedBlock.left(511) << "Checksum missing" << int(Verdict::Warning);
        QTest::newRow("long block") << signedBlock + QByteArray(1, '\0') << "Checksum missing" << int(Verdict::Warning);
        QTest::newRow("empty") << QByteArray() << "Checksum missing" << int(Verdict::Warning);
    }
    void checksum()
    {
        QFETCH(QByteArray, block);
        const ChecksumVerdict v = checksumVerdict(block);
        QTEST(v.text, "text");
        QTEST(int(v.verdict), "verdict");
    }

    void standardLabelWithoutModel() { QCOMPARE(ataStandardLabel(nullptr), QStringLiteral("ATA Standard: n/a")); }

    void shortBlockDecodesAsZeros()
    {
        const Ata shortBlock(QByteArray(100, '\xFF'));
        const Ata zeros(QByteArray(100, '\xFF') + QByteArray(412, '\0'));
        QCOMPARE(shortBlock.rowCount(), zeros.rowCount());
        QCOMPARE(shortBlock.identify().size(), 100);
    }

    void followsLanguageChange()
    {
        const QByteArray block = IdentifyBlock().set(80, 0x0002).bytes();
        QCOMPARE(rowValue(Ata(block), general, "Minor version number").toString(), QStringLiteral("n/a"));
        {
            KeyTranslator german;
            QCoreApplication::installTranslator(&german);
            const Ata translated(block);
            QCoreApplication::removeTranslator(&german);
            QCOMPARE(rowValue(translated, general, "Minor version number").toString(), QStringLiteral("k. A."));
            QCOMPARE(rowValue(translated, general, "Seriennummer").toString(), QString());
        }
        QCOMPARE(rowValue(Ata(block), general, "Minor version number").toString(), QStringLiteral("n/a"));
    }

    // Whatever a drive returns, every row gets a value and the frame holds.
    void arbitraryBlocks()
    {
        QRandomGenerator random(20261206);
        for (int i = 0; i < 400; ++i) {
            QByteArray block(512, '\0');
            for (char &c : block)
                c = char(random.bounded(256));
            if (i % 4 == 0) // keep the level low now and then, to reach the older rows
                block[161] = 0;
            const Ata ata(block);
            QVERIFY(ata.level() >= 0 && ata.level() <= 12);
            QVERIFY(!ata.standardText().isEmpty());
            const QStringList sections = AtaFixtures::sectionNames(ata);
            QCOMPARE(sections.first(), QStringLiteral("General information"));
            QCOMPARE(sections.last(), QStringLiteral("Timings"));
            for (const AtaRow &row : ata.rows()) {
                QVERIFY(!row.label.isEmpty());
                QVERIFY2(row.header || row.value.isValid(), qPrintable(row.label));
            }
        }
    }

    void roles()
    {
        Ata ata(IdentifyBlock().set(0, 0x0010).text(27, 20, "DISK").bytes());
        QAbstractItemModelTester tester(&ata, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(ata.columnCount(), 2);
        QCOMPARE(ata.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
        QCOMPARE(ata.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));
        QVERIFY(!ata.headerData(2, Qt::Horizontal).isValid());
        QVERIFY(!ata.headerData(0, Qt::Vertical).isValid());
        QVERIFY(!ata.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

        const QModelIndex header0 = ata.index(0, 0), header1 = ata.index(0, 1);
        QCOMPARE(ata.data(header0).toString(), QStringLiteral("General information"));
        QVERIFY(!ata.data(header1).isValid());
        QVERIFY(ata.data(header0, Roles::TitleRow).toBool());
        QVERIFY(ata.data(header1, Roles::TitleRow).toBool());
        QCOMPARE(ata.data(header1, Qt::UserRole), QVariant(true));
        QVERIFY(!ata.data(header0, Qt::ToolTipRole).isValid());

        const QModelIndex label = ata.index(1, 0), value = ata.index(1, 1);
        QCOMPARE(ata.data(label, Qt::ToolTipRole), ata.data(label));
        QVERIFY(!ata.data(value, Qt::ToolTipRole).isValid());
        QCOMPARE(ata.data(value, Qt::UserRole), QVariant(false));
        QVERIFY(!ata.data(value, Roles::TitleRow).toBool());
        QVERIFY(!ata.data(ata.index(ata.rowCount(), 0)).isValid());

        // The micro sign must survive the UTF-8 build as one character.
        const QString headSwitch = QStringLiteral("Head switch time > 15 ") + QChar(0x00B5) + QLatin1Char('s');
        QCOMPARE(rowValue(ata, QStringLiteral("Capabilities"), headSwitch).toString(), QStringLiteral("yes"));
    }
};

QTEST_MAIN(TestAta)
#include "tst_ata.moc"
