// Builders and parsers of the few read-only commands the backend sends (ATA
// through SCSI ATA PASS-THROUGH, SCSI INQUIRY, NVMe Identify and health log,
// MMC SEND_EXT_CSD).
// Pure functions: bytes in, record out; no device is touched here, so recorded
// replies can be fed to every parser.
#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace Services::Nodes::Linux::Commands {

// ---- ATA through SCSI ATA PASS-THROUGH (SAT) --------------------------------

enum class AtaCommand {
    Identify,
    IdentifyPacket,
    SmartReadData,
    SmartReadThresholds,
    SmartReturnStatus,
    CheckPowerMode
};

// True when the command returns a 512-byte block (PIO data-in).
bool ataCommandReadsData(AtaCommand command);
// The CDB of ATA PASS-THROUGH (16) (length 16) or (12) (length 12).
QByteArray ataPassThrough(AtaCommand command, int length);

// ATA registers returned in sense data, and the sense itself.
struct Sense {
    bool valid = false;
    bool descriptorFormat = false;
    quint8 key = 0;
    quint8 asc = 0;
    quint8 ascq = 0;
    bool hasAtaRegisters = false;
    quint8 error = 0, count = 0, lbaLow = 0, lbaMid = 0, lbaHigh = 0, device = 0, status = 0;
};
Sense parseSense(const QByteArray &sense);

// SMART RETURN STATUS: 1 healthy, 0 threshold exceeded, nothing when the
// registers do not say (no sense, error bits set, other values).
std::optional<int> smartStatus(const Sense &sense);

enum class PowerMode { Unknown, Standby, Idle, Active };
// CHECK POWER MODE: the COUNT register (0x00 standby, 0x80 idle, 0xFF active).
PowerMode powerMode(const Sense &sense);
QString powerModeText(PowerMode mode);

// SCSI ILLEGAL REQUEST / invalid opcode: the device does not know the command.
bool senseIsInvalidCommand(const Sense &sense);

// The cached IDENTIFY block libata shows as text (256 words "%04x", blank
// separated): the 512 raw bytes, little-endian per word; null when malformed.
QByteArray identifyFromText(const QString &text);
// An IDENTIFY string (two characters per word, first in the high byte), trimmed.
QString ataString(const QByteArray &identify, int firstWord, int lastWord);
quint16 ataWord(const QByteArray &identify, int word);
// w82:0 supported; w85:0 enabled (valid when w83/w87 bits 15:14 = 01b).
bool identifySmartSupported(const QByteArray &identify);
bool identifySmartEnabled(const QByteArray &identify);

// S.M.A.R.T. READ DATA and READ THRESHOLDS merged to the 12-byte records the
// program shows: each used data entry, byte 11 replaced by the threshold of
// the same id (0 when the thresholds lack it). Null when the data is not 512 bytes.
QByteArray mergeSmartAttributes(const QByteArray &data, const QByteArray &thresholds);

// ---- SCSI INQUIRY -------------------------------------------------------------

QByteArray inquiryCdb(bool evpd, quint8 page, quint16 allocation);

struct Inquiry {
    bool valid = false;
    quint8 peripheralType = 0x1F;
    bool removable = false;
    quint8 version = 0;
    QString vendor, product, revision;
};
Inquiry parseInquiry(const QByteArray &data);

// VPD page 0: the page numbers it lists (empty when malformed).
QList<quint8> vpdSupportedPages(const QByteArray &page0);
// VPD page 0x80: the unit serial number, trimmed; null when malformed.
QString vpdSerial(const QByteArray &page80);
// A VPD page is well formed when its header fits and names `page`; truncated
// to the length it announces.
QByteArray vpdPage(const QByteArray &reply, quint8 page);
// VPD page 0x89 (ATA Information): the IDENTIFY block at bytes 60..571.
QByteArray identifyFromVpd89(const QByteArray &page89);

// ---- NVMe admin commands ------------------------------------------------------

// The fields of one NVMe admin command that the passthrough ioctl carries.
struct NvmeAdmin {
    quint8 opcode = 0;
    quint32 nsid = 0;
    quint32 cdw10 = 0;
    quint32 dataLength = 0;
};
// Identify (06h) with CNS in CDW10, 4096 bytes.
NvmeAdmin nvmeIdentifyCommand(quint32 cns, quint32 nsid);
// Get Log Page (02h) of the SMART / Health Information log (02h): 512 bytes for
// the whole controller (NSID FFFFFFFFh), NUMDL 127 (dwords, 0-based), RAE set
// so that reading it leaves the controller's pending events as they are.
NvmeAdmin nvmeSmartLogCommand();

struct NvmeController {
    bool valid = false;
    QString serial, model, firmware;
    quint32 version = 0;
    quint32 namespaceCount = 0;
};
NvmeController parseNvmeController(const QByteArray &data);
// "1.4.0"; null for 0 (controllers before 1.2 do not report it).
QString nvmeVersionText(quint32 version);

struct NvmeNamespace {
    bool valid = false;
    quint64 size = 0, capacity = 0, utilisation = 0;
    QByteArray nguid; // 16 bytes
    QByteArray eui64; // 8 bytes
};
NvmeNamespace parseNvmeNamespace(const QByteArray &data);
// 8-4-4-4-12 lower-case hex; null for an all-zero or malformed id.
QString nguidText(const QByteArray &nguid);
// The EUI-64 as 16 lower-case hex digits, leading zero bytes kept; null for
// an all-zero or malformed id.
QString euiText(const QByteArray &eui64);

// ---- MMC EXT_CSD --------------------------------------------------------------

struct ExtCsd {
    bool valid = false;
    quint8 revision = 0;
    bool partitioningEnabled = false, enhancedAttribute = false, extendedAttribute = false;
    quint64 gppSize[4] = {0, 0, 0, 0}; // bytes
    QStringList deviceTypes;
    quint8 lifeTimeA = 0, lifeTimeB = 0, preEol = 0;
};
ExtCsd parseExtCsd(const QByteArray &data);
// Texts of the life-time estimate (0x01 "0% - 10%" ...) and pre-EOL values.
QString lifeTimeText(quint8 value);
QString preEolText(quint8 value);

} // namespace Services::Nodes::Linux::Commands
