#include "platform/linux/Allowlist.h"

#include <linux/fs.h>
#include <linux/mmc/ioctl.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>

namespace Services::Nodes::Linux::Allowlist {

namespace {

constexpr ClassMask scsi =
    mask(DeviceClass::ScsiDisk) | mask(DeviceClass::LibataOptical) | mask(DeviceClass::OtherScsi);
constexpr ClassMask ataPassing = mask(DeviceClass::ScsiDisk) | mask(DeviceClass::LibataOptical);
constexpr ClassMask disk = mask(DeviceClass::ScsiDisk);
constexpr ClassMask nvme = mask(DeviceClass::Nvme);
constexpr ClassMask mmc = mask(DeviceClass::Mmc);
constexpr ClassMask every = ClassMask((1u << deviceClassCount) - 1);

const Request kRequests[] = {
    {SG_IO, "SG_IO", Payload::ScsiCommand, scsi},
    {SG_GET_VERSION_NUM, "SG_GET_VERSION_NUM", Payload::Nothing, scsi},
    {NVME_IOCTL_ID, "NVME_IOCTL_ID", Payload::Nothing, nvme},
    {NVME_IOCTL_ADMIN_CMD, "NVME_IOCTL_ADMIN_CMD", Payload::NvmeAdminCommand, nvme},
    {MMC_IOC_CMD, "MMC_IOC_CMD", Payload::MmcCommand, mmc},
    {BLKGETSIZE64, "BLKGETSIZE64", Payload::Nothing, every},
    {BLKSSZGET, "BLKSSZGET", Payload::Nothing, every},
};

// ATA PASS-THROUGH (12) is opcode A1h, which MMC devices read as BLANK: only
// disks get it. libata answers (16) itself for ATAPI drives; bridges and SAS
// adapters hand CDBs to an optical drive unchanged, so neither size goes there.
const Command kCommands[] = {
    {Channel::Scsi, 0x12, -1, "INQUIRY", scsi},
    {Channel::Scsi, 0x85, -1, "ATA PASS-THROUGH (16)", ataPassing},
    {Channel::Scsi, 0xA1, -1, "ATA PASS-THROUGH (12)", disk},
    {Channel::Ata, 0xEC, -1, "IDENTIFY DEVICE", disk},
    {Channel::Ata, 0xA1, -1, "IDENTIFY PACKET DEVICE", ataPassing},
    {Channel::Ata, 0xE5, -1, "CHECK POWER MODE", ataPassing},
    {Channel::Ata, 0xB0, 0xD0, "SMART READ DATA", ataPassing},
    {Channel::Ata, 0xB0, 0xD1, "SMART READ THRESHOLDS", ataPassing},
    {Channel::Ata, 0xB0, 0xDA, "SMART RETURN STATUS", ataPassing},
    {Channel::Nvme, 0x06, 0x00, "NVMe IDENTIFY NAMESPACE", nvme},
    {Channel::Nvme, 0x06, 0x01, "NVMe IDENTIFY CONTROLLER", nvme},
    {Channel::Nvme, 0x02, 0x02, "NVMe GET LOG PAGE (SMART / HEALTH INFORMATION)", nvme},
    {Channel::Mmc, 8, -1, "MMC SEND_EXT_CSD", mmc},
};

const char *const kClassNames[deviceClassCount] = {"SCSI disk",   "libata optical drive", "other SCSI device",
                                                   "NVMe device", "MMC device",           "plain block device"};

bool listed(DeviceClass c, Channel channel, quint8 opcode, int sub)
{
    for (const Command &e : kCommands) {
        if (e.channel == channel && e.opcode == opcode && (e.sub < 0 || e.sub == sub) && (e.classes & mask(c)))
            return true;
    }
    return false;
}

bool refuse(QString *why, const QString &text)
{
    if (why)
        *why = text;
    return false;
}

// ATA PASS-THROUGH: only non-data (3) and PIO data-in (4) protocols, and data
// flowing from the device; then the ATA command itself must be listed.
bool permitsAtaPassThrough(DeviceClass c, const quint8 *cdb, int length, bool dataIn, QString *why)
{
    const bool sixteen = cdb[0] == 0x85;
    if ((sixteen && length < 16) || (!sixteen && length < 12))
        return refuse(why, QStringLiteral("short ATA PASS-THROUGH command"));
    const int protocol = (cdb[1] >> 1) & 0x0F;
    const bool fromDevice = cdb[2] & 0x08;
    const int lengthField = cdb[2] & 0x03;
    const quint8 feature = sixteen ? cdb[4] : cdb[3];
    const quint8 command = sixteen ? cdb[14] : cdb[9];
    if (protocol == 3) {
        if (dataIn || lengthField != 0)
            return refuse(why, QStringLiteral("non-data ATA command with a data phase"));
    } else if (protocol == 4) {
        if (!fromDevice || !dataIn)
            return refuse(why, QStringLiteral("ATA data must flow from the device"));
    } else {
        return refuse(why, QStringLiteral("ATA protocol %1 is not allowed").arg(protocol));
    }
    const int sub = command == 0xB0 ? feature : -1;
    if (!listed(c, Channel::Ata, command, sub))
        return refuse(why, QStringLiteral("ATA command %1h/%2h is not allowed (device class: %3)")
                               .arg(command, 2, 16, QLatin1Char('0'))
                               .arg(feature, 2, 16, QLatin1Char('0'))
                               .arg(QLatin1String(className(c))));
    return true;
}

} // namespace

const Request *requests(int *count)
{
    *count = int(std::size(kRequests));
    return kRequests;
}

const Command *commands(int *count)
{
    *count = int(std::size(kCommands));
    return kCommands;
}

const char *className(DeviceClass c)
{
    const int i = int(c);
    return i >= 0 && i < deviceClassCount ? kClassNames[i] : "unknown device";
}

DeviceClass scsiClass(int peripheralType, bool libata)
{
    if (peripheralType == 0x00 || peripheralType == 0x0E)
        return DeviceClass::ScsiDisk;
    if (peripheralType == 0x05 && libata)
        return DeviceClass::LibataOptical;
    return DeviceClass::OtherScsi;
}

bool allows(DeviceClass c, Channel channel, quint8 opcode, int sub)
{
    return listed(c, channel, opcode, sub);
}

bool permitsCdb(DeviceClass c, const quint8 *cdb, int length, bool dataIn, QString *why)
{
    if (!cdb || length < 6)
        return refuse(why, QStringLiteral("no command"));
    if (!listed(c, Channel::Scsi, cdb[0], -1))
        return refuse(why, QStringLiteral("SCSI opcode %1h is not allowed (device class: %2)")
                               .arg(cdb[0], 2, 16, QLatin1Char('0'))
                               .arg(QLatin1String(className(c))));
    if (cdb[0] == 0x85 || cdb[0] == 0xA1)
        return permitsAtaPassThrough(c, cdb, length, dataIn, why);
    return true;
}

bool permits(DeviceClass c, unsigned long request, const void *argument, QString *why)
{
    const Request *entry = nullptr;
    for (const Request &r : kRequests) {
        if (r.request == request)
            entry = &r;
    }
    if (!entry)
        return refuse(why, QStringLiteral("ioctl %1h is not allowed").arg(request, 0, 16));
    if (!(entry->classes & mask(c)))
        return refuse(why, QStringLiteral("%1 is not allowed (device class: %2)")
                               .arg(QLatin1String(entry->name), QLatin1String(className(c))));
    switch (entry->payload) {
    case Payload::Nothing:
        return true;
    case Payload::ScsiCommand: {
        const auto *io = static_cast<const sg_io_hdr *>(argument);
        if (!io || io->interface_id != 'S' || !io->cmdp)
            return refuse(why, QStringLiteral("malformed SG_IO request"));
        if (io->dxfer_direction != SG_DXFER_NONE && io->dxfer_direction != SG_DXFER_FROM_DEV)
            return refuse(why, QStringLiteral("SG_IO data must flow from the device"));
        return permitsCdb(c, io->cmdp, io->cmd_len, io->dxfer_direction == SG_DXFER_FROM_DEV, why);
    }
    case Payload::NvmeAdminCommand: {
        const auto *cmd = static_cast<const nvme_passthru_cmd *>(argument);
        if (!cmd)
            return refuse(why, QStringLiteral("malformed NVMe request"));
        if (!listed(c, Channel::Nvme, cmd->opcode, int(cmd->cdw10 & 0xFF)))
            return refuse(why, QStringLiteral("NVMe admin command %1h (CNS %2) is not allowed")
                                   .arg(cmd->opcode, 2, 16, QLatin1Char('0'))
                                   .arg(cmd->cdw10 & 0xFF));
        return true;
    }
    case Payload::MmcCommand: {
        const auto *cmd = static_cast<const mmc_ioc_cmd *>(argument);
        if (!cmd || cmd->write_flag)
            return refuse(why, QStringLiteral("MMC writes are not allowed"));
        if (!listed(c, Channel::Mmc, quint8(cmd->opcode), -1) || cmd->opcode > 0xFF)
            return refuse(why, QStringLiteral("MMC command %1 is not allowed").arg(cmd->opcode));
        return true;
    }
    }
    return refuse(why, QStringLiteral("unknown request"));
}

} // namespace Services::Nodes::Linux::Allowlist
