// The command layer over hand-built replies laid out as T10/T13/NVMe/JEDEC
// define them, and the allow-list that guards every request.
#include <QtTest>

#include "TestSupport.h"
#include "platform/linux/Allowlist.h"
#include "platform/linux/Commands.h"
#include "platform/linux/Reader.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/mmc/ioctl.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <unistd.h>

using namespace Services::Nodes::Linux;
using Commands::AtaCommand;

namespace {
using TestSupport::hex;

// A SMART data page with the given (id, value, worst, raw) entries in slots.
QByteArray smartData(const QList<QList<int>> &entries)
{
    QByteArray page(512, '\0');
    page[0] = 0x10;
    for (int i = 0; i < entries.size(); ++i) {
        const auto &s = entries[i];
        char *entry = page.data() + 2 + 12 * i;
        entry[0] = char(s[0]);
        entry[3] = char(s[1]);
        entry[4] = char(s[2]);
        for (int b = 0; b < 6; ++b)
            entry[5 + b] = char((quint64(s[3]) >> (8 * b)) & 0xFF);
        entry[11] = char(0x77); // vendor byte the merge must replace
    }
    return page;
}

QByteArray thresholdPage(const QList<QPair<int, int>> &entries)
{
    QByteArray page(512, '\0');
    for (int i = 0; i < entries.size(); ++i) {
        page[2 + 12 * i] = char(entries[i].first);
        page[2 + 12 * i + 1] = char(entries[i].second);
    }
    return page;
}

// The sections of an ata-drives snapshot file: tag to bytes.
QMap<QByteArray, QByteArray> snapshotSections(const QString &file)
{
    QFile f(file);
    QMap<QByteArray, QByteArray> sections;
    if (!f.open(QIODevice::ReadOnly))
        return sections;
    const QByteArray data = f.readAll();
    for (int at = 0; at + 8 <= data.size();) {
        const QByteArray tag = data.mid(at, 4);
        const quint32 length = qFromBigEndian<quint32>(data.constData() + at + 4);
        sections[tag] = data.mid(at + 8, int(length));
        at += 8 + int(length);
    }
    return sections;
}
} // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    // Every command at both lengths, kept in tests/expected/platform/ata-cdbs.txt;
    // everything the builder makes must pass the allow-list for a disk.
    void ataCdbs()
    {
        QString out;
        const char *names[] = {
            "IDENTIFY",        "IDENTIFY PACKET", "SMART READ DATA", "SMART READ THRESHOLDS", "SMART RETURN STATUS",
            "CHECK POWER MODE"};
        for (int command = 0; command <= int(AtaCommand::CheckPowerMode); ++command) {
            for (int length : {16, 12}) {
                const QByteArray built = Commands::ataPassThrough(AtaCommand(command), length);
                out += QStringLiteral("%1 (%2): %3\n").arg(names[command]).arg(length).arg(built.toHex(' ').toUpper());
                QVERIFY(Allowlist::permitsCdb(Allowlist::DeviceClass::ScsiDisk,
                                              reinterpret_cast<const quint8 *>(built.constData()), int(built.size()),
                                              Commands::ataCommandReadsData(AtaCommand(command))));
            }
        }
        COMPARE_GOLDEN("platform/ata-cdbs.txt", out);
    }

    void smartStatus_data()
    {
        QTest::addColumn<QByteArray>("sense");
        QTest::addColumn<int>("expected"); // -1: cannot tell
        // Descriptor format, ATA Status Return descriptor (code 09h) at byte 8.
        QTest::newRow("descriptor healthy")
            << hex("72 01 00 1D 00 00 00 0E 09 0C 00 00 00 00 00 00 00 4F 00 C2 00 50") << 1;
        QTest::newRow("descriptor failing")
            << hex("72 01 00 1D 00 00 00 0E 09 0C 00 00 00 00 00 00 00 F4 00 2C 00 50") << 0;
        QTest::newRow("descriptor error bit")
            << hex("72 01 00 1D 00 00 00 0E 09 0C 00 04 00 00 00 00 00 4F 00 C2 00 51") << -1;
        QTest::newRow("descriptor other first")
            << hex("72 01 00 1D 00 00 00 14 02 04 00 00 00 00 09 0C 00 00 00 00 00 00 00 4F 00 C2 00 50") << 1;
        QTest::newRow("descriptor truncated") << hex("72 01 00 1D 00 00 00 0E 09 0C 00 00 00 00 00 00 00 4F") << -1;
        // Fixed format: registers in INFORMATION / COMMAND-SPECIFIC INFORMATION.
        QTest::newRow("fixed healthy") << hex("70 00 01 00 50 00 00 0A 00 00 4F C2 00 1D 00 00 00 00") << 1;
        QTest::newRow("fixed failing") << hex("70 00 01 00 50 00 00 0A 00 00 F4 2C 00 1D 00 00 00 00") << 0;
        QTest::newRow("fixed without ata info") << hex("70 00 05 00 50 00 00 0A 00 00 4F C2 20 00 00 00 00 00") << -1;
        QTest::newRow("other registers") << hex("72 01 00 1D 00 00 00 0E 09 0C 00 00 00 00 00 00 00 00 00 00 00 50")
                                         << -1;
        QTest::newRow("no sense") << QByteArray() << -1;
    }
    void smartStatus()
    {
        QFETCH(QByteArray, sense);
        QFETCH(int, expected);
        QCOMPARE(Commands::smartStatus(Commands::parseSense(sense)).value_or(-1), expected);
    }

    void powerMode_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("mode");
        QTest::newRow("standby") << 0x00 << 0x50 << int(Commands::PowerMode::Standby);
        QTest::newRow("idle") << 0x80 << 0x50 << int(Commands::PowerMode::Idle);
        QTest::newRow("active") << 0xFF << 0x50 << int(Commands::PowerMode::Active);
        QTest::newRow("error") << 0xFF << 0x51 << int(Commands::PowerMode::Unknown);
        QTest::newRow("reserved") << 0x22 << 0x50 << int(Commands::PowerMode::Unknown);
    }
    void powerMode()
    {
        QFETCH(int, count);
        QFETCH(int, status);
        QFETCH(int, mode);
        QByteArray sense = hex("72 01 00 1D 00 00 00 0E 09 0C 00 00 00 00 00 00 00 00 00 00 00 00");
        sense[8 + 5] = char(count);
        sense[8 + 13] = char(status);
        QCOMPARE(int(Commands::powerMode(Commands::parseSense(sense))), mode);
    }

    void identifyText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QStringList words;
        for (int i = 0; i < 256; ++i)
            words << QStringLiteral("%1").arg(i == 27   ? 0x4143
                                              : i == 28 ? 0x4d45
                                              : i == 0  ? 0x0040
                                                        : 0x2020,
                                              4, 16, QLatin1Char('0'));
        QTest::newRow("256 words") << words.join(' ') << true;
        QTest::newRow("lines of eight") << words.mid(0, 128).join(' ') + "\n" + words.mid(128).join(' ') + "\n" << true;
        QTest::newRow("255 words") << words.mid(1).join(' ') << false;
        QStringList bad = words;
        bad[7] = QStringLiteral("zz00");
        QTest::newRow("not hex") << bad.join(' ') << false;
        bad = words;
        bad[7] = QStringLiteral("10000");
        QTest::newRow("too wide") << bad.join(' ') << false;
        QTest::newRow("empty") << QString() << false;
    }
    void identifyText()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const QByteArray block = Commands::identifyFromText(text);
        QCOMPARE(block.size() == 512, valid);
        if (valid) {
            QCOMPARE(quint8(block[0]), quint8(0x40)); // low byte first
            QCOMPARE(Commands::ataString(block, 27, 46), QStringLiteral("ACME"));
        }
    }

    void mergeSmart()
    {
        const QByteArray data =
            smartData({{1, 100, 99, 0x123456}, {0, 0, 0, 0}, {5, 200, 200, 3}, {194, 36, 50, 0x00280019}});
        // Thresholds listed in another order; id 194 has none.
        const QByteArray thresholds = thresholdPage({{5, 36}, {1, 6}});
        QCOMPARE(Commands::mergeSmartAttributes(data, thresholds).toHex(' '),
                 QByteArray("01 00 00 64 63 56 34 12 00 00 00 06 05 00 00 c8 c8 03 00 00 00 00 00 24 "
                            "c2 00 00 24 32 19 00 28 00 00 00 00"));
        QVERIFY(Commands::mergeSmartAttributes(data.left(511), thresholds).isNull());
        // Without thresholds the records still come, threshold 0.
        QCOMPARE(Commands::mergeSmartAttributes(data, QByteArray()).size(), 36);
    }

    void mergeSmartRealDrives()
    {
        const QString folder = TestSupport::sharedTestData() + QStringLiteral("/ata-drives");
        if (TestSupport::sharedTestData().isEmpty() || !QDir(folder).exists())
            QSKIP("shared ata-drives data not present");
        int checked = 0;
        for (const QString &name : QDir(folder).entryList(QDir::Files)) {
            const auto sections = snapshotSections(folder + '/' + name);
            const QByteArray identify = sections.value("IDFY");
            QCOMPARE(identify.size(), 512);
            QVERIFY2(!Commands::ataString(identify, 27, 46).isEmpty(), qPrintable(name));
            if (!sections.contains("SMDT"))
                continue;
            const QByteArray data = sections.value("SMDT"), thresholds = sections.value("SMTH");
            const QByteArray records = Commands::mergeSmartAttributes(data, thresholds);
            int used = 0;
            for (int i = 0; i < 30; ++i)
                used += data[2 + 12 * i] != 0;
            QCOMPARE(records.size(), 12 * used);
            for (int r = 0; r < records.size(); r += 12) {
                const char id = records[r];
                QVERIFY(id != 0);
                for (int t = 0; t < 30; ++t) {
                    if (thresholds[2 + 12 * t] == id)
                        QCOMPARE(records[r + 11], thresholds[2 + 12 * t + 1]);
                }
            }
            ++checked;
        }
        QVERIFY(checked > 10);
    }

    void inquiryAndVpd()
    {
        QByteArray inquiry = hex("00 80 06 02 5B 00 00 02") + "SEAGATE ST600MM0006     B001";
        const Commands::Inquiry q = Commands::parseInquiry(inquiry);
        QVERIFY(q.valid && q.removable);
        QCOMPARE(QStringList({q.vendor, q.product, q.revision}), QStringList({"SEAGATE", "ST600MM0006", "B001"}));
        QVERIFY(!Commands::parseInquiry(inquiry.left(5)).valid);
        QCOMPARE(Commands::parseInquiry(inquiry.left(20)).vendor, QStringLiteral("SEAGATE"));
        QCOMPARE(Commands::inquiryCdb(true, 0x83, 0x200), hex("12 01 83 02 00 00"));

        QCOMPARE(Commands::vpdSupportedPages(hex("00 00 00 03 00 80 83")), (QList<quint8>{0x00, 0x80, 0x83}));
        // A page announcing more than it holds gives what is there; a wrong code nothing.
        QCOMPARE(Commands::vpdSupportedPages(hex("00 00 00 09 00 80")), (QList<quint8>{0x00, 0x80}));
        QVERIFY(Commands::vpdSupportedPages(hex("00 80 00 02 00 80")).isEmpty());
        QCOMPARE(Commands::vpdSerial(hex("00 80 00 0A 20 20 57 44 2D 31 32 33 20 20 FF FF")), QStringLiteral("WD-123"));
        QVERIFY(Commands::vpdSerial(hex("00 80 00")).isNull());

        QByteArray page89(572, '\0');
        page89[1] = char(0x89);
        page89[2] = char(0x02);
        page89[3] = char(0x38);
        page89[60] = char(0x5A);
        QCOMPARE(Commands::identifyFromVpd89(page89).size(), 512);
        QCOMPARE(quint8(Commands::identifyFromVpd89(page89)[0]), quint8(0x5A));
        QVERIFY(Commands::identifyFromVpd89(page89.left(400)).isNull());
    }

    void nvmeIdentify()
    {
        QByteArray ctrl(4096, '\0');
        ctrl.replace(4, 20, QByteArray("S6B0NL0T123456      "));
        ctrl.replace(24, 40, QByteArray("ACME NVMe 1TB").leftJustified(40, ' '));
        ctrl.replace(64, 8, QByteArray("2B2QEXM7"));
        ctrl.replace(80, 4, hex("00 04 01 00"));  // 1.4.0
        ctrl.replace(516, 4, hex("20 00 00 00")); // 32 namespaces
        const Commands::NvmeController c = Commands::parseNvmeController(ctrl);
        QVERIFY(c.valid);
        QCOMPARE(QStringList({c.serial, c.model, c.firmware, Commands::nvmeVersionText(c.version)}),
                 QStringList({"S6B0NL0T123456", "ACME NVMe 1TB", "2B2QEXM7", "1.4.0"}));
        QCOMPARE(c.namespaceCount, 32u);
        QVERIFY(Commands::nvmeVersionText(0).isNull());
        QVERIFY(!Commands::parseNvmeController(ctrl.left(100)).valid);

        QByteArray ns(4096, '\0');
        ns.replace(0, 8, hex("B0 6D 70 74 00 00 00 00"));
        ns.replace(8, 8, hex("B0 6D 70 74 00 00 00 00"));
        ns.replace(16, 8, hex("00 10 00 00 00 00 00 00"));
        ns.replace(104, 16, hex("00 25 38 5B A1 B2 C3 D4 E5 F6 00 00 00 00 00 01"));
        ns.replace(120, 8, hex("00 25 38 5B 21 B0 3A 77"));
        const Commands::NvmeNamespace n = Commands::parseNvmeNamespace(ns);
        QCOMPARE(n.size, quint64(0x74706DB0));
        QCOMPARE(n.utilisation, quint64(0x1000));
        QCOMPARE(Commands::nguidText(n.nguid), QStringLiteral("0025385b-a1b2-c3d4-e5f6-000000000001"));
        QCOMPARE(Commands::euiText(n.eui64), QStringLiteral("0025385b21b03a77"));
        QVERIFY(Commands::euiText(QByteArray(8, '\0')).isNull());
        QVERIFY(Commands::nguidText(QByteArray(16, '\0')).isNull());
    }

    // Get Log Page for the health log: LID 02h, RAE, NUMDL 127 = 512 bytes, every namespace.
    void nvmeSmartLogCommand()
    {
        const Commands::NvmeAdmin c = Commands::nvmeSmartLogCommand();
        QCOMPARE(QList<quint32>({c.opcode, c.nsid, c.cdw10, c.dataLength}),
                 QList<quint32>({0x02, 0xFFFFFFFF, 0x007F8002, 512}));
    }

    void extCsd()
    {
        QByteArray e(512, '\0');
        e[143] = 0x10; // GPP1 multiplier 16
        e[150] = 0x01; // GPP3 multiplier 0x000100: bytes 149..151, little-endian
        e[160] = 0x07;
        e[192] = 8;
        e[196] = char(0x57); // HS 26, HS 52, DDR 1.8/3 V, HS200 1.8 V, HS400 1.8 V
        e[221] = 1;          // write protect group: 1 erase group
        e[224] = 1;          // erase group: 512 KiB
        e[267] = 2;
        e[268] = 1;
        e[269] = 0x0B;
        const Commands::ExtCsd x = Commands::parseExtCsd(e);
        QVERIFY(x.valid);
        QVERIFY(x.partitioningEnabled && x.enhancedAttribute && x.extendedAttribute);
        QCOMPARE(QList<quint64>({x.gppSize[0], x.gppSize[1], x.gppSize[2]}),
                 QList<quint64>({16 * 512 * 1024, 0, 0x100 * 512 * 1024}));
        QCOMPARE(x.deviceTypes,
                 (QStringList{"HS 26 MHz", "HS 52 MHz", "HS DDR 52 MHz 1.8 V / 3 V", "HS200 1.8 V", "HS400 1.8 V"}));
        // Pre-EOL in byte 267, life time A and B in 268 and 269.
        QCOMPARE(QStringList({Commands::preEolText(x.preEol).left(7), Commands::lifeTimeText(x.lifeTimeA),
                              Commands::lifeTimeText(x.lifeTimeB)}),
                 QStringList(
                     {"Warning", "0% - 10% device life time used", "Exceeded its maximum estimated device life time"}));
        QVERIFY(!Commands::parseExtCsd(e.left(511)).valid);
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
