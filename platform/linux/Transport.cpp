#include "platform/linux/Transport.h"

#include <cerrno>
#include <cstring>
#include <linux/mmc/ioctl.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Services::Nodes::Linux {

namespace {
// From the kernel's internal MMC core header: R1 response of an addressed data
// transfer command (SPI R1 | R1 | ADTC).
constexpr unsigned int mmcResponseR1Adtc = 0x80 | 0x15 | 0x20;
// Host status of SG_IO when the command timed out (DID_TIME_OUT).
constexpr unsigned short hostTimedOut = 0x03;
// SAM status codes as masked_status reports them (status >> 1).
constexpr unsigned char statusGood = 0x00;
constexpr unsigned char statusCheckCondition = 0x01;
} // namespace

Failure classifyErrno(int error)
{
    switch (error) {
    case EPERM:
    case EACCES:
        return Failure::NoRights;
    case ENOTTY:
    case EINVAL:
    case EOPNOTSUPP:
    case ENOSYS:
        return Failure::NotSupported;
    default:
        return Failure::DeviceError;
    }
}

RawDevice::RawDevice(const Reader &reader, const DeviceNode &node, Allowlist::DeviceClass deviceClass)
    : m_reader(reader), m_class(deviceClass)
{
    int error = 0;
    m_fd = reader.openDevice(node, &error);
    if (m_fd < 0)
        failOpen(error, node.name);
}

RawDevice::RawDevice(const Reader &reader, int fd, int openError, const QString &name,
                     Allowlist::DeviceClass deviceClass)
    : m_reader(reader), m_class(deviceClass), m_fd(fd), m_ownsFd(false)
{
    if (m_fd < 0)
        failOpen(openError, name);
}

RawDevice::~RawDevice()
{
    if (m_ownsFd)
        m_reader.close(m_fd);
}

void RawDevice::failOpen(int error, const QString &name)
{
    m_openFailure = classifyErrno(error);
    if (error == ENOENT || error == ENXIO || error == ENOMEDIUM || error == ENODEV)
        m_openFailure = Failure::DeviceError;
    fail(m_openFailure, QStringLiteral("open /dev/%1: %2")
                            .arg(name, error == ENODEV ? QStringLiteral("not the device sysfs describes")
                                                       : QString::fromLocal8Bit(strerror(error))));
}

template <typename Send> QByteArray RawDevice::withRetry(Send send)
{
    if (m_unresponsive) {
        fail(Failure::DeviceError, QStringLiteral("the device did not answer earlier commands"));
        return QByteArray();
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        m_timedOut = false;
        QByteArray reply = send();
        if (!reply.isNull() || m_failure != Failure::DeviceError)
            return reply;
        if (m_timedOut && attempt == 1)
            m_unresponsive = true;
    }
    return QByteArray();
}

void RawDevice::fail(Failure failure, const QString &text)
{
    m_failure = failure;
    m_failureText = text;
}

void RawDevice::failErrno(int error, const QString &what)
{
    m_timedOut = error == ETIMEDOUT || error == EIO || error == EINTR;
    fail(classifyErrno(error), what + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(error)));
}

QByteArray RawDevice::sgIo(const QByteArray &cdb, int dataLength, QByteArray *sense)
{
    return withRetry([&] { return sgIoOnce(cdb, dataLength, sense); });
}

QByteArray RawDevice::sgIoOnce(const QByteArray &cdb, int dataLength, QByteArray *sense)
{
    QByteArray data(dataLength, '\0');
    QByteArray senseBuffer(64, '\0');
    QByteArray command = cdb;
    sg_io_hdr io;
    std::memset(&io, 0, sizeof io);
    io.interface_id = 'S';
    io.cmd_len = quint8(command.size());
    io.cmdp = reinterpret_cast<unsigned char *>(command.data());
    io.dxfer_direction = dataLength > 0 ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
    io.dxfer_len = quint32(dataLength);
    io.dxferp = dataLength > 0 ? data.data() : nullptr;
    io.mx_sb_len = quint8(senseBuffer.size());
    io.sbp = reinterpret_cast<unsigned char *>(senseBuffer.data());
    io.timeout = timeoutMs;
    if (m_reader.ioctl(m_fd, m_class, SG_IO, &io) < 0) {
        failErrno(errno, QStringLiteral("SG_IO"));
        return QByteArray();
    }
    if (sense)
        *sense = senseBuffer.left(qMin<int>(io.sb_len_wr, senseBuffer.size()));
    if (io.host_status != 0) {
        m_timedOut = io.host_status == hostTimedOut;
        fail(Failure::DeviceError, QStringLiteral("SG_IO host status %1").arg(io.host_status));
        return QByteArray();
    }
    if (io.masked_status == statusCheckCondition && io.sb_len_wr > 0) {
        const Commands::Sense s = Commands::parseSense(senseBuffer.left(io.sb_len_wr));
        if (Commands::senseIsInvalidCommand(s)) {
            fail(Failure::NotSupported, QStringLiteral("ILLEGAL REQUEST"));
            return QByteArray();
        }
        if (dataLength == 0 && s.hasAtaRegisters)
            return QByteArray("");
        fail(Failure::DeviceError, QStringLiteral("CHECK CONDITION, sense key %1").arg(s.key));
        return QByteArray();
    }
    if (io.masked_status != statusGood) {
        fail(Failure::DeviceError, QStringLiteral("SCSI status %1").arg(io.status));
        return QByteArray();
    }
    if (dataLength > 0)
        data.truncate(qMax(0, dataLength - qMax(0, io.resid)));
    return dataLength > 0 ? data : QByteArray("");
}

QByteArray RawDevice::ata(Commands::AtaCommand command, Commands::Sense *sense)
{
    if (m_fd < 0)
        return QByteArray();
    const int length = Commands::ataCommandReadsData(command) ? 512 : 0;
    bool tried = false;
    for (int cdbLength : {16, 12}) {
        if (!Allowlist::allows(m_class, Allowlist::Channel::Scsi, cdbLength == 16 ? 0x85 : 0xA1))
            continue;
        tried = true;
        QByteArray senseBytes;
        QByteArray reply = sgIo(Commands::ataPassThrough(command, cdbLength), length, &senseBytes);
        if (!reply.isNull()) {
            const Commands::Sense s = Commands::parseSense(senseBytes);
            if (sense)
                *sense = s;
            if (length == 0 && !s.hasAtaRegisters) {
                fail(Failure::DeviceError, QStringLiteral("no ATA registers returned"));
                return QByteArray();
            }
            if (length > 0 && reply.size() != length) {
                fail(Failure::DeviceError, QStringLiteral("short ATA reply (%1 bytes)").arg(reply.size()));
                return QByteArray();
            }
            return reply;
        }
        // Only a rejected 16-byte CDB is worth a second try with 12 bytes.
        if (m_failure != Failure::NotSupported)
            return QByteArray();
    }
    if (!tried)
        fail(
            Failure::NotSupported,
            QStringLiteral("no ATA PASS-THROUGH (device class: %1)").arg(QLatin1String(Allowlist::className(m_class))));
    return QByteArray();
}

QByteArray RawDevice::inquiry(bool evpd, quint8 page, quint16 allocation)
{
    if (m_fd < 0)
        return QByteArray();
    return sgIo(Commands::inquiryCdb(evpd, page, allocation), allocation, nullptr);
}

QByteArray RawDevice::nvmeAdmin(const Commands::NvmeAdmin &command, const QString &what)
{
    if (m_fd < 0)
        return QByteArray();
    QByteArray data(int(command.dataLength), '\0');
    nvme_passthru_cmd cmd;
    std::memset(&cmd, 0, sizeof cmd);
    cmd.opcode = command.opcode;
    cmd.nsid = command.nsid;
    cmd.addr = reinterpret_cast<quintptr>(data.data());
    cmd.data_len = command.dataLength;
    cmd.cdw10 = command.cdw10;
    cmd.timeout_ms = timeoutMs;
    return withRetry([&]() -> QByteArray {
        const int result = m_reader.ioctl(m_fd, m_class, NVME_IOCTL_ADMIN_CMD, &cmd);
        if (result < 0) {
            failErrno(errno, what);
            return QByteArray();
        }
        if (result > 0) {
            fail(Failure::DeviceError, QStringLiteral("NVMe status %1h").arg(result, 0, 16));
            return QByteArray();
        }
        return data;
    });
}

QByteArray RawDevice::nvmeIdentify(quint32 cns, quint32 nsid)
{
    return nvmeAdmin(Commands::nvmeIdentifyCommand(cns, nsid), QStringLiteral("NVMe Identify"));
}

QByteArray RawDevice::nvmeSmartLog()
{
    return nvmeAdmin(Commands::nvmeSmartLogCommand(), QStringLiteral("NVMe Get Log Page"));
}

QByteArray RawDevice::mmcExtCsd()
{
    if (m_fd < 0)
        return QByteArray();
    QByteArray data(512, '\0');
    mmc_ioc_cmd cmd;
    std::memset(&cmd, 0, sizeof cmd);
    cmd.write_flag = 0;
    cmd.opcode = 8; // SEND_EXT_CSD
    cmd.arg = 0;
    cmd.flags = mmcResponseR1Adtc;
    cmd.blksz = 512;
    cmd.blocks = 1;
    cmd.cmd_timeout_ms = timeoutMs;
    mmc_ioc_cmd_set_data(cmd, data.data());
    return withRetry([&]() -> QByteArray {
        if (m_reader.ioctl(m_fd, m_class, MMC_IOC_CMD, &cmd) < 0) {
            failErrno(errno, QStringLiteral("MMC SEND_EXT_CSD"));
            return QByteArray();
        }
        return data;
    });
}

} // namespace Services::Nodes::Linux
