// Decoders of sysfs descriptors and card registers, of the partition-table
// signature, and of PCI addresses.
#include <QtTest>

#include "TestSupport.h"

#include "platform/linux/Registers.h"

using namespace Services::Nodes::Linux::Registers;

using TestSupport::hex;

class TestRegisters : public QObject {
    Q_OBJECT
private slots:
    // Cases in tests/data/platform/registers.txt.
    void decoders()
    {
        QFile cases(QStringLiteral(TESTS_DIR "/data/platform/registers.txt"));
        QVERIFY(cases.open(QIODevice::ReadOnly));
        QString out;
        for (const QByteArray &line : cases.readAll().split('\n')) {
            const QList<QByteArray> f = line.split('\t');
            if (line.startsWith('#') || f.size() != 3)
                continue;
            const QByteArray kind = f[1], bytes = hex(f[2].constData());
            const QStringList words = QString::fromLatin1(f[2]).split(' ');
            QString r;
            if (kind == "usb") {
                const UsbDescriptors d = parseUsbDescriptors(bytes);
                r = QString::asprintf("valid %d, USB %04x, %04x:%04x, %d configurations, settings", d.valid, d.bcdUsb,
                                      d.vendor, d.product, d.configurations);
                for (const UsbSetting &s : d.settings)
                    r += QString::asprintf(" %d.%d.%d/%02x", s.configuration, s.interface, s.alternate, s.protocol);
            } else if (kind == "bos") {
                const UsbBos b = parseUsbBos(bytes);
                r = QString::asprintf("valid %d, %llu Mbit/s, container ", b.valid, b.maxSpeedMbit) + b.containerId;
            } else if (kind == "speed") {
                r = usbSpeedText(words[0].toDouble(), words[1].toInt());
                r = r.isNull() ? "null" : r;
            } else if (kind == "bcd") {
                r = QString::number(usbMaxSpeedWithoutBos(quint16(words[0].toUInt(nullptr, 16))));
            } else if (kind.startsWith("csd")) {
                const QByteArray csd = registerBytes(words[0], 16);
                const bool mmc = kind == "csd-mmc";
                r = QString::asprintf("%llu kHz, ", csd.isNull() ? 0 : cardTransferKhz(csd, mmc)) +
                    (!mmc ? sdCardType(csd)
                          : QString("version %1, with EXT_CSD revision 8: %2, 99: %3, read to write x%4")
                                .arg(mmcVersion(csd, std::nullopt), mmcVersion(csd, 8), mmcVersion(csd, 99))
                                .arg(mmcReadToWriteFactor(csd)));
                r += csd.isNull() ? " (not a register)" : "";
            } else if (kind == "cid") {
                r = mmcCbx(registerBytes(words[0], 16));
            } else if (kind == "scr") {
                r = sdVersion(registerBytes(words[0], 8));
            } else if (kind == "pci") {
                const auto address = parsePciAddress(words[0]);
                r = address ? pciAddressText(*address) : "-";
            }
            out += QString::fromUtf8(f[0]) + ": " + r + '\n';
        }
        COMPARE_GOLDEN("platform/registers.txt", out);
    }

    void partitionTable()
    {
        QByteArray mbr(512, '\0'), gpt(512, '\0'), empty(512, '\0');
        mbr.replace(440, 4, hex("EF BE AD DE")).replace(510, 2, hex("55 AA"));
        PartitionTable t = detectPartitionTable(mbr, empty);
        QCOMPARE(QStringList({t.type, t.signature}), QStringList({"MBR", "DEADBEEF"}));
        // A protective entry and a GPT header: the disk GUID, mixed endian.
        gpt.replace(0, 8, "EFI PART").replace(56, 16, hex("44 33 22 11 66 55 88 77 99 AA BB CC DD EE FF 00"));
        mbr[450] = char(0xEE);
        t = detectPartitionTable(mbr, gpt);
        QCOMPARE(QStringList({t.type, t.signature}), QStringList({"GPT", "11223344-5566-7788-99AA-BBCCDDEEFF00"}));

        QVERIFY(detectPartitionTable(empty, empty).type.isNull());
        QVERIFY(detectPartitionTable(QByteArray(), QByteArray()).type.isNull());
    }
};

QTEST_GUILESS_MAIN(TestRegisters)
#include "tst_registers.moc"
