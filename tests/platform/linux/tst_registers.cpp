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
    void usbDescriptors()
    {
        const QByteArray device = hex("12 01 10 02 00 00 00 40 2B 1A 81 07 00 01 01 02 03 02");
        const QByteArray ep = hex("07 05 81 02 00 02 00");
        // Configuration 1: interface 0 with BOT and UAS settings and a
        // class-specific descriptor; configuration 2: interface 0 again.
        const QByteArray c1 = hex("09 02 00 00 02 01 00 80 32") + hex("09 04 00 00 02 08 06 50 00") + ep +
                              hex("09 04 00 01 04 08 06 62 00") + hex("04 24 01 00") + ep +
                              hex("09 04 01 00 00 FF 00 00 00");
        const QByteArray c2 = hex("09 02 12 00 01 02 00 80 32") + hex("09 04 00 00 00 03 00 00 00");
        const UsbDescriptors d = parseUsbDescriptors(device + c1 + c2);
        QVERIFY(d.valid && d.settings.size() == 4);
        QCOMPARE(QList<int>({d.bcdUsb, d.vendor, d.product, d.configurations}),
                 QList<int>({0x0210, 0x1A2B, 0x0781, 2}));
        QCOMPARE(QList<int>({d.settings[1].alternate, d.settings[1].protocol, d.settings[2].interface,
                             d.settings[3].configuration}),
                 QList<int>({1, 0x62, 1, 2}));

        // A descriptor of length 0 or running past the end stops the walk.
        QByteArray broken =
            device + hex("09 04 00 00 02 08 06 50 00") + hex("00 04") + hex("09 04 01 00 02 08 06 50 00");
        QCOMPARE(parseUsbDescriptors(broken).settings.size(), 1);
        QCOMPARE(parseUsbDescriptors(device + hex("09 04 00 00 02 08")).settings.size(), 0);
        QVERIFY(!parseUsbDescriptors(device.left(17)).valid);
    }

    void usbBos()
    {
        const QByteArray container = hex("14 10 04 00 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF");
        const QByteArray superSpeed = hex("0A 10 03 00 0E 00 01 0A FF 07");
        // SuperSpeedPlus: two sublink attributes, 10 Gb/s (LSE 3, mantissa 10).
        const QByteArray plus = hex("14 10 0A 00 01 00 00 00 00 11 00 00 30 40 0A 00 B0 40 0A 00");
        QByteArray caps = container + superSpeed;
        QByteArray bos = hex("05 0F") + QByteArray(1, char(5 + caps.size())) + hex("00 02") + caps;
        const UsbBos b = parseUsbBos(bos);
        QVERIFY(b.valid && b.maxSpeedMbit == 5000);
        QCOMPARE(b.containerId, QStringLiteral("00112233-4455-6677-8899-aabbccddeeff"));
        caps += plus;
        bos = hex("05 0F") + QByteArray(1, char(5 + caps.size())) + hex("00 03") + caps;
        QCOMPARE(parseUsbBos(bos).maxSpeedMbit, quint64(10000));
        // wTotalLength shorter than the data: capabilities past it are ignored.
        bos[2] = char(5 + container.size());
        QCOMPARE(parseUsbBos(bos).maxSpeedMbit, quint64(0));

        QCOMPARE(QStringList({usbSpeedText(480), usbSpeedText(1.5), usbSpeedText(10000, 2)}),
                 QStringList({"High Speed (480 Mbit/s)", "Low Speed (1.5 Mbit/s)", "SuperSpeed+ Gen x2 (20 Gbit/s)"}));
        QVERIFY(usbSpeedText(0).isNull());
        QCOMPARE(QList<quint64>({usbMaxSpeedWithoutBos(0x0210), usbMaxSpeedWithoutBos(0x0320)}),
                 QList<quint64>({480, 0}));
    }

    // CSD: transfer speed, and the SD card type or MMC version; then the other register fields.
    void cardRegisters()
    {
        const QList<std::tuple<const char *, bool, quint64, QString>> rows = {
            {"400e00325b590001d8a77f800a400000", false, 25000, "SDHC/SDXC"},
            {"005e00325f5a83c4f6dbbfbf06400000", false, 25000, "SDSC"},
            {"005e005a5f5a83c4f6dbbfbf06400000", false, 50000, "SDSC"},
            {"d02701320f5903fff6dbffef8e40400d", true, 26000, "4.x"},
            {"8c26015a0f5903fff6dbffef8e40400d", true, 52000, "3.1 - 3.31"},
            {"400e00375b590001d8a77f800a400000", false, 0, "SDHC/SDXC"}, // reserved unit
        };
        for (const auto &[csd, mmc, khz, text] : rows) {
            const QByteArray bytes = registerBytes(csd, 16);
            QCOMPARE(bytes.size(), 16);
            QCOMPARE(cardTransferKhz(bytes, mmc), khz);
            QCOMPARE(mmc ? mmcVersion(bytes, std::nullopt) : sdCardType(bytes), text);
        }

        const QByteArray emmc = registerBytes("d02701320f5903fff6dbffef8e40400d", 16);
        // The EXT_CSD revision refines a CSD that says 4.x, when it is known.
        QCOMPARE(QStringList({mmcVersion(emmc, 8), mmcVersion(emmc, 99)}), QStringList({"5.1", "4.x"}));
        QCOMPARE(mmcReadToWriteFactor(emmc), quint64(8));
        // The package in the CID, and the SD version in the SCR.
        QCOMPARE(QStringList({mmcCbx(registerBytes("150100424a54443452000a1b2c3d9a00", 16)),
                              mmcCbx(registerBytes("150200424a54443452000a1b2c3d9a00", 16))}),
                 QStringList({"BGA (discrete embedded)", "POP"}));
        QStringList versions;
        for (const char *scr :
             {"0235800300000000", "0235840300000000", "0235804300000000", "0225000000000000", "0125000000000000"})
            versions << sdVersion(registerBytes(scr, 8));
        QCOMPARE(versions, QStringList({"3.0x", "4.xx", "5.xx", "2.00", "1.10"}));
        // Malformed register texts give nothing rather than garbage.
        QVERIFY(registerBytes("400e0032", 16).isNull());
        QVERIFY(registerBytes("zz0e00325b590001d8a77f800a400000", 16).isNull());
        QVERIFY(sdCardType(QByteArray()).isNull());
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

    void pciAddress()
    {
        QStringList shown;
        for (const char *text :
             {"0000:00:1f.2", "0000:3D:00.0", "10000:e1:00.0", "0000:00:20.0", "0000:00:1f.8", "pci0000:00"}) {
            const auto address = parsePciAddress(text);
            shown << (address ? pciAddressText(*address) : "-");
        }
        // Upper case normalised, VMD domains, and no device 32, function 8 or other text.
        QCOMPARE(shown, QStringList({"0000:00:1f.2", "0000:3d:00.0", "10000:e1:00.0", "-", "-", "-"}));
    }
};

QTEST_GUILESS_MAIN(TestRegisters)
#include "tst_registers.moc"
