#include "platform/linux/Allowlist.h"

#include <linux/fs.h>
#include <linux/mmc/ioctl.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>

namespace Services::Nodes::Linux::Allowlist {

namespace {

const Request kRequests[] = {
    {SG_IO, "SG_IO", Payload::ScsiCommand},
    {SG_GET_VERSION_NUM, "SG_GET_VERSION_NUM", Payload::Nothing},
    {NVME_IOCTL_ID, "NVME_IOCTL_ID", Payload::Nothing},
    {NVME_IOCTL_ADMIN_CMD, "NVME_IOCTL_ADMIN_CMD", Payload::NvmeAdminCommand},
    {MMC_IOC_CMD, "MMC_IOC_CMD", Payload::MmcCommand},
    {BLKGETSIZE64, "BLKGETSIZE64", Payload::Nothing},
    {BLKSSZGET, "BLKSSZGET", Payload::Nothing},
};

const Command kCommands[] = {
    {Channel::Scsi, 0x12, -1, "INQUIRY"},
    {Channel::Scsi, 0x85, -1, "ATA PASS-THROUGH (16)"},
    {Channel::Scsi, 0xA1, -1, "ATA PASS-THROUGH (12)"},
    {Channel::Ata, 0xEC, -1, "IDENTIFY DEVICE"},
    {Channel::Ata, 0xA1, -1, "IDENTIFY PACKET DEVICE"},
    {Channel::Ata, 0xE5, -1, "CHECK POWER MODE"},
    {Channel::Ata, 0xB0, 0xD0, "SMART READ DATA"},
    {Channel::Ata, 0xB0, 0xD1, "SMART READ THRESHOLDS"},
    {Channel::Ata, 0xB0, 0xDA, "SMART RETURN STATUS"},
    {Channel::Nvme, 0x06, 0x00, "NVMe IDENTIFY NAMESPACE"},
    {Channel::Nvme, 0x06, 0x01, "NVMe IDENTIFY CONTROLLER"},
    {Channel::Nvme, 0x02, 0x02, "NVMe GET LOG PAGE (SMART / HEALTH INFORMATION)"},
    {Channel::Mmc, 8, -1, "MMC SEND_EXT_CSD"},
};

bool listed(Channel channel, quint8 opcode, int sub)
{
    for (const Command &c : kCommands) {
        if (c.channel == channel && c.opcode == opcode && (c.sub < 0 || c.sub == sub))
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
bool permitsAtaPassThrough(const quint8 *cdb, int length, bool dataIn, QString *why)
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
    if (!listed(Channel::Ata, command, sub))
        return refuse(why, QStringLiteral("ATA command %1h/%2h is not allowed")
                               .arg(command, 2, 16, QLatin1Char('0'))
                               .arg(feature, 2, 16, QLatin1Char('0')));
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

bool permitsCdb(const quint8 *cdb, int length, bool dataIn, QString *why)
{
    if (!cdb || length < 6)
        return refuse(why, QStringLiteral("no command"));
    if (!listed(Channel::Scsi, cdb[0], -1))
        return refuse(why, QStringLiteral("SCSI opcode %1h is not allowed").arg(cdb[0], 2, 16, QLatin1Char('0')));
    if (cdb[0] == 0x85 || cdb[0] == 0xA1)
        return permitsAtaPassThrough(cdb, length, dataIn, why);
    return true;
}

bool permits(unsigned long request, const void *argument, QString *why)
{
    const Request *entry = nullptr;
    for (const Request &r : kRequests) {
        if (r.request == request)
            entry = &r;
    }
    if (!entry)
        return refuse(why, QStringLiteral("ioctl %1h is not allowed").arg(request, 0, 16));
    switch (entry->payload) {
    case Payload::Nothing:
        return true;
    case Payload::ScsiCommand: {
        const auto *io = static_cast<const sg_io_hdr *>(argument);
        if (!io || io->interface_id != 'S' || !io->cmdp)
            return refuse(why, QStringLiteral("malformed SG_IO request"));
        if (io->dxfer_direction != SG_DXFER_NONE && io->dxfer_direction != SG_DXFER_FROM_DEV)
            return refuse(why, QStringLiteral("SG_IO data must flow from the device"));
        return permitsCdb(io->cmdp, io->cmd_len, io->dxfer_direction == SG_DXFER_FROM_DEV, why);
    }
    case Payload::NvmeAdminCommand: {
        const auto *cmd = static_cast<const nvme_passthru_cmd *>(argument);
        if (!cmd)
            return refuse(why, QStringLiteral("malformed NVMe request"));
        if (!listed(Channel::Nvme, cmd->opcode, int(cmd->cdw10 & 0xFF)))
            return refuse(why, QStringLiteral("NVMe admin command %1h (CNS %2) is not allowed")
                                   .arg(cmd->opcode, 2, 16, QLatin1Char('0'))
                                   .arg(cmd->cdw10 & 0xFF));
        return true;
    }
    case Payload::MmcCommand: {
        const auto *cmd = static_cast<const mmc_ioc_cmd *>(argument);
        if (!cmd || cmd->write_flag)
            return refuse(why, QStringLiteral("MMC writes are not allowed"));
        if (!listed(Channel::Mmc, quint8(cmd->opcode), -1) || cmd->opcode > 0xFF)
            return refuse(why, QStringLiteral("MMC command %1 is not allowed").arg(cmd->opcode));
        return true;
    }
    }
    return refuse(why, QStringLiteral("unknown request"));
}

} // namespace Services::Nodes::Linux::Allowlist
