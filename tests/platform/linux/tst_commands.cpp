// The command layer over hand-built replies laid out as T10/T13/NVMe/JEDEC
// define them, and the allow-list that guards every request.
#include <QtTest>

#include "TestSupport.h"
#include "model/ata/Snapshot.h"
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

// The section `tag` of an ata-drives snapshot file's bytes.
QByteArray section(const QByteArray &data, const char *tag)
{
    for (qsizetype at = 0; at + 8 <= data.size(); at += 8 + qFromBigEndian<quint32>(data.constData() + at + 4)) {
        if (data.mid(at, 4) == tag)
            return data.mid(at + 8, qFromBigEndian<quint32>(data.constData() + at + 4));
    }
    return QByteArray();
}
} // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    // Every ATA command at both lengths and the NVMe health log request (LID 02h,
    // RAE, NUMDL 127 = 512 bytes, every namespace), kept in
    // tests/expected/platform/ata-cdbs.txt; every CDB must pass the allow-list for a disk.
    void commandBytes()
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
        const Commands::NvmeAdmin c = Commands::nvmeSmartLogCommand();
        out += QString::asprintf("NVMe SMART log: opcode %02X nsid %08X cdw10 %08X length %u\n", c.opcode, c.nsid,
                                 c.cdw10, c.dataLength);
        COMPARE_GOLDEN("platform/ata-cdbs.txt", out);
    }

    // Cases in tests/data/platform/smart-status.txt.
    void smartStatus_data()
    {
        QTest::addColumn<QByteArray>("sense");
        QTest::addColumn<int>("expected");
        QFile cases(QStringLiteral(TESTS_DIR "/data/platform/smart-status.txt"));
        QVERIFY(cases.open(QIODevice::ReadOnly));
        for (const QByteArray &line : cases.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (!line.startsWith('#') && fields.size() == 3)
                QTest::newRow(fields[0].constData()) << hex(fields[1].constData()) << fields[2].toInt();
        }
    }
    void smartStatus()
    {
        QFETCH(QByteArray, sense);
        QFETCH(int, expected);
        QCOMPARE(Commands::smartStatus(Commands::parseSense(sense)).value_or(-1), expected);
    }

    // CHECK POWER MODE: the count register, unless the status says error.
    void powerMode()
    {
        QList<int> modes;
        for (const auto &[count, status] : QList<std::pair<char, char>>{
                 {0x00, 0x50}, {char(0x80), 0x50}, {char(0xFF), 0x50}, {char(0xFF), 0x51}, {0x22, 0x50}}) {
            QByteArray sense = hex("72 01 00 1D 00 00 00 0E 09 0C 00 00 00 00 00 00 00 00 00 00 00 00");
            sense[8 + 5] = count;
            sense[8 + 13] = status;
            modes << int(Commands::powerMode(Commands::parseSense(sense)));
        }
        using M = Commands::PowerMode;
        QCOMPARE(modes, QList<int>({int(M::Standby), int(M::Idle), int(M::Active), int(M::Unknown), int(M::Unknown)}));
    }

    void identifyText()
    {
        QStringList words(256, QStringLiteral("2020"));
        words[0] = "0040";
        words[27] = "4143"; // "ACME"
        words[28] = "4d45";
        const QByteArray block = Commands::identifyFromText(words.join(' '));
        QCOMPARE(block.size(), 512);
        QCOMPARE(quint8(block[0]), quint8(0x40)); // low byte first
        QCOMPARE(Commands::ataString(block, 27, 46), QStringLiteral("ACME"));
        QCOMPARE(Commands::identifyFromText(words.mid(0, 128).join(' ') + '\n' + words.mid(128).join(' ') + '\n'),
                 block);
        // 255 words, a word not hex, one too wide, nothing.
        QStringList notHex = words, tooWide = words;
        notHex[7] = "zz00";
        tooWide[7] = "10000";
        for (const QStringList &bad : {words.mid(1), notHex, tooWide, QStringList()})
            QVERIFY(Commands::identifyFromText(bad.join(' ')).size() != 512);
    }

    // On every real drive the merge gives the records the snapshot reader makes
    // of the same pages; without thresholds the records still come, and a
    // short page gives nothing.
    void mergeSmartRealDrives()
    {
        SHARED_DATA_OR_RETURN(folder, "ata-drives");
        int checked = 0;
        for (const QString &name : QDir(folder).entryList(QDir::Files)) {
            QFile file(folder + '/' + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            Applications::DriveScope::Model::AtaSnapshot snapshot;
            QVERIFY2(Applications::DriveScope::Model::parseAtaSnapshot(bytes, &snapshot, nullptr) &&
                         !Commands::ataString(section(bytes, "IDFY"), 27, 46).isEmpty(),
                     qPrintable(name));
            if (section(bytes, "SMDT").isEmpty())
                continue;
            const QByteArray data = section(bytes, "SMDT");
            QCOMPARE(Commands::mergeSmartAttributes(data, section(bytes, "SMTH")), snapshot.attributeRecords);
            QCOMPARE(Commands::mergeSmartAttributes(data, QByteArray()).size(), snapshot.attributeRecords.size());
            QVERIFY(Commands::mergeSmartAttributes(data.left(511), section(bytes, "SMTH")).isNull());
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

        QByteArray page89 = hex("00 89 02 38") + QByteArray(568, '\0');
        page89[60] = char(0x5A);
        QCOMPARE(Commands::identifyFromVpd89(page89), QByteArray(1, 0x5A) + QByteArray(511, '\0'));
        QVERIFY(Commands::identifyFromVpd89(page89.left(400)).isNull());
    }

    void nvmeIdentify()
    {
        QByteArray ctrl(4096, '\0');
        ctrl.replace(4, 68, "S6B0NL0T123456      " + QByteArray("ACME NVMe 1TB").leftJustified(40, ' ') + "2B2QEXM7");
        ctrl.replace(80, 4, hex("00 04 01 00"));  // 1.4.0
        ctrl.replace(516, 4, hex("20 00 00 00")); // 32 namespaces
        const Commands::NvmeController c = Commands::parseNvmeController(ctrl);
        QVERIFY(c.valid && !Commands::parseNvmeController(ctrl.left(100)).valid);
        QCOMPARE(QStringList({c.serial, c.model, c.firmware, Commands::nvmeVersionText(c.version),
                              QString::number(c.namespaceCount)}),
                 QStringList({"S6B0NL0T123456", "ACME NVMe 1TB", "2B2QEXM7", "1.4.0", "32"}));
        QVERIFY(Commands::nvmeVersionText(0).isNull());

        // Size, capacity and utilisation; NGUID and EUI-64 at 104.
        QByteArray ns = hex("B0 6D 70 74 00 00 00 00 B0 6D 70 74 00 00 00 00 00 10 00 00 00 00 00 00");
        ns.resize(4096, '\0');
        ns.replace(104, 24, hex("00 25 38 5B A1 B2 C3 D4 E5 F6 00 00 00 00 00 01 00 25 38 5B 21 B0 3A 77"));
        const Commands::NvmeNamespace n = Commands::parseNvmeNamespace(ns);
        QCOMPARE(QList<quint64>({n.size, n.utilisation}), QList<quint64>({0x74706DB0, 0x1000}));
        QCOMPARE(QStringList({Commands::nguidText(n.nguid), Commands::euiText(n.eui64)}),
                 QStringList({"0025385b-a1b2-c3d4-e5f6-000000000001", "0025385b21b03a77"}));
        QVERIFY(Commands::euiText(QByteArray(8, '\0')).isNull() && Commands::nguidText(QByteArray(16, '\0')).isNull());
    }

    void extCsd()
    {
        QByteArray e(512, '\0');
        e[143] = 0x10; // GPP1 multiplier 16
        e[150] = 0x01; // GPP3 multiplier 0x000100: bytes 149..151, little-endian
        e[160] = 0x07;
        e[192] = 8;
        e[196] = char(0x57);                // HS 26, HS 52, DDR 1.8/3 V, HS200 1.8 V, HS400 1.8 V
        e[221] = 1;                         // write protect group: 1 erase group
        e[224] = 1;                         // erase group: 512 KiB
        e.replace(267, 3, hex("02 01 0B")); // pre-EOL, life time A and B
        const Commands::ExtCsd x = Commands::parseExtCsd(e);
        QVERIFY(x.valid && x.partitioningEnabled && x.enhancedAttribute && x.extendedAttribute);
        QCOMPARE(QList<quint64>({x.gppSize[0], x.gppSize[1], x.gppSize[2]}),
                 QList<quint64>({16 * 512 * 1024, 0, 0x100 * 512 * 1024}));
        QCOMPARE(x.deviceTypes,
                 (QStringList{"HS 26 MHz", "HS 52 MHz", "HS DDR 52 MHz 1.8 V / 3 V", "HS200 1.8 V", "HS400 1.8 V"}));
        QCOMPARE(QStringList({Commands::preEolText(x.preEol).left(7), Commands::lifeTimeText(x.lifeTimeA),
                              Commands::lifeTimeText(x.lifeTimeB)}),
                 QStringList(
                     {"Warning", "0% - 10% device life time used", "Exceeded its maximum estimated device life time"}));
        QVERIFY(!Commands::parseExtCsd(e.left(511)).valid);
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
