#include "platform/linux/Registers.h"

#include <QRegularExpression>
#include <QtEndian>

namespace Services::Nodes::Linux::Registers {

namespace {
quint8 at(const QByteArray &data, int offset)
{
    return offset >= 0 && offset < data.size() ? quint8(data[offset]) : 0;
}

quint16 le16(const QByteArray &data, int offset)
{
    return quint16(at(data, offset) | at(data, offset + 1) << 8);
}

quint32 le32(const QByteArray &data, int offset)
{
    return quint32(le16(data, offset)) | quint32(le16(data, offset + 2)) << 16;
}
} // namespace

UsbDescriptors parseUsbDescriptors(const QByteArray &data)
{
    UsbDescriptors d;
    if (data.size() < 18 || at(data, 0) < 18 || at(data, 1) != 0x01)
        return d;
    d.valid = true;
    d.bcdUsb = le16(data, 2);
    d.usbClass = at(data, 4);
    d.subclass = at(data, 5);
    d.protocol = at(data, 6);
    d.vendor = le16(data, 8);
    d.product = le16(data, 10);
    d.bcdDevice = le16(data, 12);
    d.configurations = at(data, 17);
    quint8 configuration = 0;
    for (int offset = at(data, 0); offset + 2 <= data.size();) {
        const int length = at(data, offset);
        if (length < 2 || offset + length > data.size())
            break;
        const quint8 type = at(data, offset + 1);
        if (type == 0x02 && length >= 9) {
            configuration = at(data, offset + 5);
        } else if (type == 0x04 && length >= 9) {
            UsbSetting s;
            s.configuration = configuration;
            s.interface = at(data, offset + 2);
            s.alternate = at(data, offset + 3);
            s.usbClass = at(data, offset + 5);
            s.subclass = at(data, offset + 6);
            s.protocol = at(data, offset + 7);
            d.settings.append(s);
        }
        offset += length;
    }
    return d;
}

UsbBos parseUsbBos(const QByteArray &data)
{
    UsbBos b;
    if (data.size() < 5 || at(data, 0) < 5 || at(data, 1) != 0x0F)
        return b;
    b.valid = true;
    const int total = qMin(int(le16(data, 2)), int(data.size()));
    for (int offset = at(data, 0); offset + 3 <= total;) {
        const int length = at(data, offset);
        if (length < 3 || offset + length > total)
            break;
        const quint8 capability = at(data, offset + 2);
        if (at(data, offset + 1) == 0x10 && capability == 0x04 && length >= 20) {
            const QString hex = QString::fromLatin1(data.mid(offset + 4, 16).toHex());
            b.containerId =
                hex.mid(0, 8) + '-' + hex.mid(8, 4) + '-' + hex.mid(12, 4) + '-' + hex.mid(16, 4) + '-' + hex.mid(20);
        } else if (at(data, offset + 1) == 0x10 && capability == 0x03 && length >= 10) {
            const quint16 speeds = le16(data, offset + 4);
            const quint64 fastest = speeds & 0x08 ? 5000 : speeds & 0x04 ? 480 : speeds & 0x02 ? 12 : 0;
            b.maxSpeedMbit = qMax(b.maxSpeedMbit, fastest);
        } else if (at(data, offset + 1) == 0x10 && capability == 0x0A && length >= 12) {
            const int count = int(le32(data, offset + 4) & 0x1F) + 1;
            for (int i = 0; i < count && offset + 12 + 4 * i + 4 <= offset + length; ++i) {
                const quint32 attribute = le32(data, offset + 12 + 4 * i);
                const quint64 mantissa = attribute >> 16;
                static const quint64 perMbit[] = {0, 0, 1, 1000}; // b/s and kb/s round to 0
                b.maxSpeedMbit = qMax(b.maxSpeedMbit, mantissa * perMbit[(attribute >> 4) & 0x3]);
            }
        }
        offset += length;
    }
    return b;
}

QString usbSpeedText(double mbit, int lanes)
{
    QString name;
    if (mbit <= 0)
        return QString();
    if (mbit < 2)
        name = QStringLiteral("Low Speed");
    else if (mbit < 100)
        name = QStringLiteral("Full Speed");
    else if (mbit < 1000)
        name = QStringLiteral("High Speed");
    else if (mbit < 10000)
        name = QStringLiteral("SuperSpeed");
    else
        name = QStringLiteral("SuperSpeed+");
    const double total = mbit * qMax(1, lanes);
    const QString rate =
        total >= 1000 ? QStringLiteral("%1 Gbit/s").arg(total / 1000.0) : QStringLiteral("%1 Mbit/s").arg(total);
    if (lanes > 1)
        return QStringLiteral("%1 Gen x%2 (%3)").arg(name).arg(lanes).arg(rate);
    return QStringLiteral("%1 (%2)").arg(name, rate);
}

quint64 usbMaxSpeedWithoutBos(quint16 bcdUsb)
{
    if (bcdUsb >= 0x0300)
        return 0; // a SuperSpeed device must have a BOS: unknown without it
    if (bcdUsb >= 0x0200)
        return 480;
    return bcdUsb >= 0x0110 ? 12 : 0;
}

QByteArray registerBytes(const QString &hex, int bytes)
{
    static const QRegularExpression hexDigits(QStringLiteral("^[0-9a-fA-F]+$"));
    const QString clean = hex.trimmed();
    if (clean.size() != 2 * bytes || !hexDigits.match(clean).hasMatch())
        return QByteArray();
    return QByteArray::fromHex(clean.toLatin1());
}

quint32 registerBits(const QByteArray &data, int hi, int lo)
{
    const int bits = data.size() * 8;
    quint32 value = 0;
    for (int bit = hi; bit >= lo; --bit) {
        if (bit < 0 || bit >= bits)
            return 0;
        const int byte = data.size() - 1 - bit / 8;
        value = value << 1 | ((at(data, byte) >> (bit % 8)) & 1);
    }
    return value;
}

quint64 cardTransferKhz(const QByteArray &csd, bool mmc)
{
    if (csd.size() != 16)
        return 0;
    const quint8 speed = quint8(registerBits(csd, 103, 96));
    static const quint64 unitKhz[] = {100, 1000, 10000, 100000};
    static const quint64 sdTenths[] = {0, 10, 12, 13, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 70, 80};
    static const quint64 mmcTenths[] = {0, 10, 12, 13, 15, 20, 26, 30, 35, 40, 45, 52, 55, 60, 70, 80};
    const int unit = speed & 0x07;
    if (unit > 3)
        return 0;
    const quint64 tenths = (mmc ? mmcTenths : sdTenths)[(speed >> 3) & 0x0F];
    return unitKhz[unit] * tenths / 10;
}

QString sdCardType(const QByteArray &csd)
{
    if (csd.size() != 16)
        return QString();
    switch (registerBits(csd, 127, 126)) {
    case 0:
        return QStringLiteral("SDSC");
    case 1:
        return QStringLiteral("SDHC/SDXC");
    case 2:
        return QStringLiteral("SDUC");
    default:
        return QString();
    }
}

QString sdVersion(const QByteArray &scr)
{
    if (scr.size() != 8)
        return QString();
    const quint32 field = registerBits(scr, 59, 56);
    const quint32 field3 = registerBits(scr, 47, 47);
    const quint32 field4 = registerBits(scr, 42, 42);
    const quint32 fieldX = registerBits(scr, 41, 38);
    if (field == 0)
        return QStringLiteral("1.0");
    if (field == 1)
        return QStringLiteral("1.10");
    if (field != 2)
        return QString();
    if (!field3)
        return QStringLiteral("2.00");
    if (fieldX == 0)
        return field4 ? QStringLiteral("4.xx") : QStringLiteral("3.0x");
    return QStringLiteral("%1.xx").arg(fieldX + 4);
}

QString mmcCbx(const QByteArray &cid)
{
    if (cid.size() != 16)
        return QString();
    switch (registerBits(cid, 113, 112)) {
    case 0:
        return QStringLiteral("Card (removable)");
    case 1:
        return QStringLiteral("BGA (discrete embedded)");
    case 2:
        return QStringLiteral("POP");
    default:
        return QStringLiteral("Reserved");
    }
}

QString mmcVersion(const QByteArray &csd, std::optional<quint64> extCsdRevision)
{
    if (csd.size() != 16)
        return QString();
    const quint32 field = registerBits(csd, 125, 122);
    static const char *const old[] = {"1.0 - 1.2", "1.4", "2.0 - 2.2", "3.1 - 3.31"};
    if (field < 4)
        return QString::fromLatin1(old[field]);
    if (field > 4)
        return QString();
    static const char *const revisions[] = {"4.0", "4.1", "4.2", "4.3", "4.4 (obsolete)", "4.41", "4.5", "5.0", "5.1"};
    if (extCsdRevision && *extCsdRevision < std::size(revisions))
        return QString::fromLatin1(revisions[*extCsdRevision]);
    return QStringLiteral("4.x");
}

quint64 mmcReadToWriteFactor(const QByteArray &csd)
{
    if (csd.size() != 16)
        return 0;
    return quint64(1) << registerBits(csd, 28, 26);
}

PartitionTable detectPartitionTable(const QByteArray &block0, const QByteArray &block1)
{
    PartitionTable table;
    if (block1.size() >= 92 && block1.startsWith("EFI PART")) {
        const QByteArray g = block1.mid(56, 16);
        auto hex = [](const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex()).toUpper(); };
        QByteArray first = g.mid(0, 4), second = g.mid(4, 2), third = g.mid(6, 2);
        std::reverse(first.begin(), first.end());
        std::reverse(second.begin(), second.end());
        std::reverse(third.begin(), third.end());
        table.type = QStringLiteral("GPT");
        table.signature =
            hex(first) + '-' + hex(second) + '-' + hex(third) + '-' + hex(g.mid(8, 2)) + '-' + hex(g.mid(10, 6));
    } else if (block0.size() >= 512 && at(block0, 510) == 0x55 && at(block0, 511) == 0xAA) {
        table.type = QStringLiteral("MBR");
        table.signature = QStringLiteral("%1").arg(le32(block0, 440), 8, 16, QLatin1Char('0')).toUpper();
    }
    return table;
}

std::optional<PciAddress> parsePciAddress(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^([0-9a-fA-F]{4,8}):([0-9a-fA-F]{2}):([0-9a-fA-F]{2})\\.([0-7])$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    PciAddress a;
    a.segment = m.captured(1).toUInt(nullptr, 16);
    a.bus = quint8(m.captured(2).toUInt(nullptr, 16));
    const uint device = m.captured(3).toUInt(nullptr, 16);
    if (device > 0x1F)
        return std::nullopt;
    a.device = quint8(device);
    a.function = quint8(m.captured(4).toUInt());
    return a;
}

QString pciAddressText(const PciAddress &a)
{
    return QStringLiteral("%1:%2:%3.%4")
        .arg(a.segment, 4, 16, QLatin1Char('0'))
        .arg(a.bus, 2, 16, QLatin1Char('0'))
        .arg(a.device, 2, 16, QLatin1Char('0'))
        .arg(a.function);
}

} // namespace Services::Nodes::Linux::Registers
