#include "platform/linux/Commands.h"

#include <QRegularExpression>

namespace Services::Nodes::Linux::Commands {

namespace {

quint8 at(const QByteArray &data, int offset)
{
    return offset >= 0 && offset < data.size() ? quint8(data[offset]) : 0;
}

quint64 littleEndian(const QByteArray &data, int offset, int bytes)
{
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | at(data, offset + i);
    return value;
}

QString asciiField(const QByteArray &data, int offset, int length)
{
    if (offset + length > data.size())
        return QString();
    QByteArray field = data.mid(offset, length);
    for (char &c : field) {
        if (uchar(c) < 0x20 || uchar(c) > 0x7E)
            c = ' ';
    }
    return QString::fromLatin1(field).trimmed();
}

// Taskfile of one ATA command: feature, count, LBA low/mid/high, command.
struct Taskfile {
    quint8 protocol, feature, count, lbaLow, lbaMid, lbaHigh, command;
    bool dataIn;
};

Taskfile taskfile(AtaCommand command)
{
    switch (command) {
    case AtaCommand::Identify:
        return {4, 0x00, 1, 0x00, 0x00, 0x00, 0xEC, true};
    case AtaCommand::IdentifyPacket:
        return {4, 0x00, 1, 0x00, 0x00, 0x00, 0xA1, true};
    case AtaCommand::SmartReadData:
        return {4, 0xD0, 1, 0x00, 0x4F, 0xC2, 0xB0, true};
    case AtaCommand::SmartReadThresholds:
        return {4, 0xD1, 1, 0x01, 0x4F, 0xC2, 0xB0, true};
    case AtaCommand::SmartReturnStatus:
        return {3, 0xDA, 0, 0x00, 0x4F, 0xC2, 0xB0, false};
    case AtaCommand::CheckPowerMode:
        return {3, 0x00, 0, 0x00, 0x00, 0x00, 0xE5, false};
    }
    return {3, 0, 0, 0, 0, 0, 0, false};
}

} // namespace

bool ataCommandReadsData(AtaCommand command)
{
    return taskfile(command).dataIn;
}

QByteArray ataPassThrough(AtaCommand command, int length)
{
    const Taskfile t = taskfile(command);
    // Data-in: T_DIR from device, BYT_BLOK, length in COUNT. Non-data: CK_COND
    // so that the registers come back in the sense data.
    const quint8 flags = t.dataIn ? 0x0E : 0x20;
    const quint8 protocol = quint8(t.protocol << 1);
    QByteArray cdb(length == 12 ? 12 : 16, '\0');
    if (cdb.size() == 16) {
        cdb[0] = char(0x85);
        cdb[1] = char(protocol);
        cdb[2] = char(flags);
        cdb[4] = char(t.feature);
        cdb[6] = char(t.count);
        cdb[8] = char(t.lbaLow);
        cdb[10] = char(t.lbaMid);
        cdb[12] = char(t.lbaHigh);
        cdb[14] = char(t.command);
    } else {
        cdb[0] = char(0xA1);
        cdb[1] = char(protocol);
        cdb[2] = char(flags);
        cdb[3] = char(t.feature);
        cdb[4] = char(t.count);
        cdb[5] = char(t.lbaLow);
        cdb[6] = char(t.lbaMid);
        cdb[7] = char(t.lbaHigh);
        cdb[9] = char(t.command);
    }
    return cdb;
}

Sense parseSense(const QByteArray &sense)
{
    Sense s;
    if (sense.size() < 8)
        return s;
    const quint8 code = at(sense, 0) & 0x7F;
    if (code == 0x72 || code == 0x73) {
        s.valid = true;
        s.descriptorFormat = true;
        s.key = at(sense, 1) & 0x0F;
        s.asc = at(sense, 2);
        s.ascq = at(sense, 3);
        const int end = qMin(sense.size(), 8 + int(at(sense, 7)));
        for (int d = 8; d + 1 < end;) {
            const int length = at(sense, d + 1);
            if (at(sense, d) == 0x09 && length >= 0x0C && d + 14 <= end) {
                s.hasAtaRegisters = true;
                s.error = at(sense, d + 3);
                s.count = at(sense, d + 5);
                s.lbaLow = at(sense, d + 7);
                s.lbaMid = at(sense, d + 9);
                s.lbaHigh = at(sense, d + 11);
                s.device = at(sense, d + 12);
                s.status = at(sense, d + 13);
                break;
            }
            d += 2 + length;
        }
    } else if (code == 0x70 || code == 0x71) {
        if (sense.size() < 14)
            return s;
        s.valid = true;
        s.key = at(sense, 2) & 0x0F;
        s.asc = at(sense, 12);
        s.ascq = at(sense, 13);
        // Fixed format carries the registers in INFORMATION and COMMAND-SPECIFIC
        // INFORMATION only with "ATA PASS-THROUGH INFORMATION AVAILABLE".
        if (s.asc == 0x00 && s.ascq == 0x1D) {
            s.hasAtaRegisters = true;
            s.error = at(sense, 3);
            s.status = at(sense, 4);
            s.device = at(sense, 5);
            s.count = at(sense, 6);
            s.lbaLow = at(sense, 9);
            s.lbaMid = at(sense, 10);
            s.lbaHigh = at(sense, 11);
        }
    }
    return s;
}

std::optional<int> smartStatus(const Sense &sense)
{
    if (!sense.hasAtaRegisters || (sense.status & 0x21))
        return std::nullopt;
    if (sense.lbaMid == 0x4F && sense.lbaHigh == 0xC2)
        return 1;
    if (sense.lbaMid == 0xF4 && sense.lbaHigh == 0x2C)
        return 0;
    return std::nullopt;
}

PowerMode powerMode(const Sense &sense)
{
    if (!sense.hasAtaRegisters || (sense.status & 0x01))
        return PowerMode::Unknown;
    switch (sense.count) {
    case 0x00:
    case 0x01:
    case 0x40:
        return PowerMode::Standby;
    case 0x80:
    case 0x81:
    case 0x82:
    case 0x83:
        return PowerMode::Idle;
    case 0x41:
    case 0xFF:
        return PowerMode::Active;
    default:
        return PowerMode::Unknown;
    }
}

QString powerModeText(PowerMode mode)
{
    switch (mode) {
    case PowerMode::Standby:
        return QStringLiteral("STANDBY");
    case PowerMode::Idle:
        return QStringLiteral("IDLE");
    case PowerMode::Active:
        return QStringLiteral("ACTIVE");
    case PowerMode::Unknown:
        break;
    }
    return QStringLiteral("UNKNOWN");
}

bool senseIsInvalidCommand(const Sense &sense)
{
    return sense.valid && sense.key == 0x05 && (sense.asc == 0x20 || sense.asc == 0x24);
}

QByteArray identifyFromText(const QString &text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList words = text.split(blanks, Qt::SkipEmptyParts);
    if (words.size() != 256)
        return QByteArray();
    QByteArray block(512, '\0');
    for (int i = 0; i < 256; ++i) {
        bool ok = false;
        const uint word = words[i].toUInt(&ok, 16);
        if (!ok || word > 0xFFFF || words[i].size() > 4)
            return QByteArray();
        block[2 * i] = char(word & 0xFF);
        block[2 * i + 1] = char(word >> 8);
    }
    return block;
}

quint16 ataWord(const QByteArray &identify, int word)
{
    return quint16(littleEndian(identify, 2 * word, 2));
}

QString ataString(const QByteArray &identify, int firstWord, int lastWord)
{
    if (identify.size() < 2 * (lastWord + 1))
        return QString();
    QByteArray swapped;
    for (int w = firstWord; w <= lastWord; ++w) {
        swapped.append(identify[2 * w + 1]);
        swapped.append(identify[2 * w]);
    }
    return asciiField(swapped, 0, swapped.size());
}

bool identifySmartSupported(const QByteArray &identify)
{
    return identify.size() == 512 && (ataWord(identify, 82) & 0x0001);
}

bool identifySmartEnabled(const QByteArray &identify)
{
    if (identify.size() != 512)
        return false;
    const bool valid = (ataWord(identify, 87) & 0xC000) == 0x4000 || (ataWord(identify, 83) & 0xC000) == 0x4000;
    return valid && (ataWord(identify, 85) & 0x0001);
}

QByteArray mergeSmartAttributes(const QByteArray &data, const QByteArray &thresholds)
{
    if (data.size() != 512)
        return QByteArray();
    const bool haveThresholds = thresholds.size() == 512;
    QByteArray records("");
    for (int i = 0; i < 30; ++i) {
        const int offset = 2 + 12 * i;
        const quint8 id = at(data, offset);
        if (id == 0)
            continue;
        QByteArray record = data.mid(offset, 12);
        quint8 threshold = 0;
        for (int j = 0; haveThresholds && j < 30; ++j) {
            if (at(thresholds, 2 + 12 * j) == id) {
                threshold = at(thresholds, 2 + 12 * j + 1);
                break;
            }
        }
        record[11] = char(threshold);
        records.append(record);
    }
    return records;
}

QByteArray inquiryCdb(bool evpd, quint8 page, quint16 allocation)
{
    QByteArray cdb(6, '\0');
    cdb[0] = 0x12;
    cdb[1] = evpd ? 0x01 : 0x00;
    cdb[2] = char(evpd ? page : 0);
    cdb[3] = char(allocation >> 8);
    cdb[4] = char(allocation & 0xFF);
    return cdb;
}

Inquiry parseInquiry(const QByteArray &data)
{
    Inquiry q;
    if (data.size() < 8)
        return q;
    q.valid = true;
    q.peripheralType = at(data, 0) & 0x1F;
    q.removable = at(data, 1) & 0x80;
    q.version = at(data, 2);
    q.vendor = asciiField(data, 8, 8);
    q.product = asciiField(data, 16, 16);
    q.revision = asciiField(data, 32, 4);
    return q;
}

QByteArray vpdPage(const QByteArray &reply, quint8 page)
{
    if (reply.size() < 4 || at(reply, 1) != page)
        return QByteArray();
    const int length = int(at(reply, 2)) << 8 | at(reply, 3);
    return reply.left(qMin(reply.size(), 4 + length));
}

QList<quint8> vpdSupportedPages(const QByteArray &page0)
{
    QList<quint8> pages;
    const QByteArray page = vpdPage(page0, 0x00);
    for (int i = 4; i < page.size(); ++i)
        pages.append(at(page, i));
    return pages;
}

QString vpdSerial(const QByteArray &page80)
{
    const QByteArray page = vpdPage(page80, 0x80);
    if (page.isEmpty())
        return QString();
    const QString serial = asciiField(page, 4, page.size() - 4);
    return serial.isEmpty() ? QString() : serial;
}

QByteArray identifyFromVpd89(const QByteArray &page89)
{
    const QByteArray page = vpdPage(page89, 0x89);
    if (page.size() < 572)
        return QByteArray();
    return page.mid(60, 512);
}

NvmeAdmin nvmeIdentifyCommand(quint32 cns, quint32 nsid)
{
    return {0x06, nsid, cns, 4096};
}

NvmeAdmin nvmeSmartLogCommand()
{
    constexpr quint32 logId = 0x02, retainEvent = 1u << 15, dwords = 512 / 4;
    return {0x02, 0xFFFFFFFFu, logId | retainEvent | ((dwords - 1) << 16), 512};
}

NvmeController parseNvmeController(const QByteArray &data)
{
    NvmeController c;
    if (data.size() < 520)
        return c;
    c.valid = true;
    c.serial = asciiField(data, 4, 20);
    c.model = asciiField(data, 24, 40);
    c.firmware = asciiField(data, 64, 8);
    c.version = quint32(littleEndian(data, 80, 4));
    c.namespaceCount = quint32(littleEndian(data, 516, 4));
    return c;
}

QString nvmeVersionText(quint32 version)
{
    if (version == 0)
        return QString();
    return QStringLiteral("%1.%2.%3").arg(version >> 16).arg((version >> 8) & 0xFF).arg(version & 0xFF);
}

NvmeNamespace parseNvmeNamespace(const QByteArray &data)
{
    NvmeNamespace n;
    if (data.size() < 128)
        return n;
    n.valid = true;
    n.size = littleEndian(data, 0, 8);
    n.capacity = littleEndian(data, 8, 8);
    n.utilisation = littleEndian(data, 16, 8);
    n.nguid = data.mid(104, 16);
    n.eui64 = data.mid(120, 8);
    return n;
}

QString nguidText(const QByteArray &nguid)
{
    if (nguid.size() != 16 || nguid.count('\0') == 16)
        return QString();
    const QString hex = QString::fromLatin1(nguid.toHex());
    return hex.mid(0, 8) + '-' + hex.mid(8, 4) + '-' + hex.mid(12, 4) + '-' + hex.mid(16, 4) + '-' + hex.mid(20);
}

QString euiText(const QByteArray &eui64)
{
    if (eui64.size() != 8 || eui64.count('\0') == 8)
        return QString();
    return QString::fromLatin1(eui64.toHex());
}

ExtCsd parseExtCsd(const QByteArray &data)
{
    ExtCsd e;
    if (data.size() != 512)
        return e;
    e.valid = true;
    e.revision = at(data, 192);
    const quint8 support = at(data, 160);
    e.partitioningEnabled = support & 0x01;
    e.enhancedAttribute = support & 0x02;
    e.extendedAttribute = support & 0x04;
    const quint64 unit = quint64(at(data, 224)) * at(data, 221) * 512 * 1024;
    for (int i = 0; i < 4; ++i)
        e.gppSize[i] = littleEndian(data, 143 + 3 * i, 3) * unit;
    static const char *const types[] = {"HS 26 MHz",           "HS 52 MHz",   "HS DDR 52 MHz 1.8 V / 3 V",
                                        "HS DDR 52 MHz 1.2 V", "HS200 1.8 V", "HS200 1.2 V",
                                        "HS400 1.8 V",         "HS400 1.2 V"};
    const quint8 deviceType = at(data, 196);
    for (int bit = 0; bit < 8; ++bit) {
        if (deviceType & (1 << bit))
            e.deviceTypes.append(QString::fromLatin1(types[bit]));
    }
    e.preEol = at(data, 267);
    e.lifeTimeA = at(data, 268);
    e.lifeTimeB = at(data, 269);
    return e;
}

QString lifeTimeText(quint8 value)
{
    if (value == 0)
        return QStringLiteral("Not defined");
    if (value <= 0x0A)
        return QStringLiteral("%1% - %2% device life time used").arg((value - 1) * 10).arg(value * 10);
    if (value == 0x0B)
        return QStringLiteral("Exceeded its maximum estimated device life time");
    return QStringLiteral("Reserved (0x%1)").arg(value, 2, 16, QLatin1Char('0'));
}

QString preEolText(quint8 value)
{
    switch (value) {
    case 0:
        return QStringLiteral("Not defined");
    case 1:
        return QStringLiteral("Normal");
    case 2:
        return QStringLiteral("Warning: 80% of reserved blocks consumed");
    case 3:
        return QStringLiteral("Urgent");
    default:
        return QStringLiteral("Reserved (0x%1)").arg(value, 2, 16, QLatin1Char('0'));
    }
}

} // namespace Services::Nodes::Linux::Commands
