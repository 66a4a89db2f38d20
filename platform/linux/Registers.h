// Decoders of the descriptors and registers the kernel shows in sysfs (USB
// descriptors and BOS, SD/MMC CID, CSD and SCR), of the partition-table
// signature in the first blocks, and of PCI addresses. Pure functions.
#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace Services::Nodes::Linux::Registers {

// ---- USB ------------------------------------------------------------------------

struct UsbSetting {
    quint8 configuration = 0; // bConfigurationValue of the configuration holding it
    quint8 interface = 0, alternate = 0, usbClass = 0, subclass = 0, protocol = 0;
};

struct UsbDescriptors {
    bool valid = false;
    quint16 bcdUsb = 0, vendor = 0, product = 0, bcdDevice = 0;
    quint8 usbClass = 0, subclass = 0, protocol = 0, configurations = 0;
    QList<UsbSetting> settings; // every interface and alternate setting, in order
};
// The sysfs `descriptors` file: device descriptor then every configuration.
// Stops at a malformed descriptor and keeps what came before it.
UsbDescriptors parseUsbDescriptors(const QByteArray &data);

struct UsbBos {
    bool valid = false;
    QString containerId;      // 8-4-4-4-12, bytes in stored order
    quint64 maxSpeedMbit = 0; // from the SuperSpeed(Plus) capabilities
};
UsbBos parseUsbBos(const QByteArray &data);

// "480" (sysfs `speed`, Mbit/s) to "High Speed (480 Mbit/s)"; null when unknown.
QString usbSpeedText(double mbit, int lanes = 1);
// The fastest speed a device can use when it has no BOS: from bcdUSB.
quint64 usbMaxSpeedWithoutBos(quint16 bcdUsb);

// ---- SD / MMC ---------------------------------------------------------------------

// 32 hex digits (sysfs cid/csd) or 16 (scr) to bytes, register bit 127 first.
QByteArray registerBytes(const QString &hex, int bytes);
// Register bits hi..lo of a big-endian register of `data.size()` bytes.
quint32 registerBits(const QByteArray &data, int hi, int lo);

// CSD TRAN_SPEED in kHz (MMC uses 26/52 in place of 25/50); 0 when reserved.
quint64 cardTransferKhz(const QByteArray &csd, bool mmc);
QString sdCardType(const QByteArray &csd); // "SDSC", "SDHC/SDXC", "SDUC"
QString sdVersion(const QByteArray &scr);  // "1.0", "1.10", "2.00", "3.0x", ...
QString mmcCbx(const QByteArray &cid);     // "Card (removable)", "BGA", "POP"
// CSD SPEC_VERS, refined by EXT_CSD_REV when the card is 4.x or newer.
QString mmcVersion(const QByteArray &csd, std::optional<quint64> extCsdRevision);
// CSD R2W_FACTOR as the multiple (1, 2, 4, ... 32).
quint64 mmcReadToWriteFactor(const QByteArray &csd);

// ---- Partition table ----------------------------------------------------------------

struct PartitionTable {
    QString type;      // "GPT", "MBR" or null
    QString signature; // GPT disk GUID or MBR disk signature (8 hex digits)
};
// From block 0 and block 1 of the disk (each at least 512 bytes).
PartitionTable detectPartitionTable(const QByteArray &block0, const QByteArray &block1);

// ---- PCI ------------------------------------------------------------------------------

struct PciAddress {
    quint32 segment = 0;
    quint8 bus = 0, device = 0, function = 0;
};
// "SSSS:BB:DD.F" (domain may be longer than four digits); nothing when malformed.
std::optional<PciAddress> parsePciAddress(const QString &text);
QString pciAddressText(const PciAddress &address);

} // namespace Services::Nodes::Linux::Registers
