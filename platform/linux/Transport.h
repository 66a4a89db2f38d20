// Thin transports for the read-only commands of Commands.h: SG_IO (ATA
// PASS-THROUGH, INQUIRY), the NVMe admin ioctl and MMC_IOC_CMD, on one device
// opened through the Reader (which checks every request against the allow-list).
#pragma once
#include <QByteArray>
#include <QString>

#include "platform/linux/Commands.h"
#include "platform/linux/Reader.h"

namespace Services::Nodes::Linux {

// Why raw data could not be read.
enum class Failure {
    None,
    NoRights,     // EPERM/EACCES: the user may not open or command the device
    NotSupported, // ENOTTY/EINVAL/EOPNOTSUPP or ILLEGAL REQUEST: not this kind of device
    DeviceError,  // the device or the transport failed
};

class RawDevice {
public:
    RawDevice(const Reader &reader, const QString &devName);
    ~RawDevice();
    RawDevice(const RawDevice &) = delete;
    RawDevice &operator=(const RawDevice &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    Failure openFailure() const { return m_openFailure; }
    int fd() const { return m_fd; }
    // The last failure of a command, and its text for the log.
    Failure failure() const { return m_failure; }
    QString failureText() const { return m_failureText; }

    // An ATA command through SG_IO: 512 bytes for data-in commands, an empty
    // non-null array for non-data ones (their registers land in *sense).
    // Tries ATA PASS-THROUGH (16), then (12) unless `noTwelve` (optical drives,
    // where 0xA1 is BLANK). Null on failure.
    QByteArray ata(Commands::AtaCommand command, Commands::Sense *sense, bool noTwelve);
    QByteArray inquiry(bool evpd, quint8 page, quint16 allocation);
    QByteArray nvmeIdentify(quint32 cns, quint32 nsid);
    // The 512-byte SMART / Health Information log of the controller.
    QByteArray nvmeSmartLog();
    QByteArray mmcExtCsd();

private:
    QByteArray nvmeAdmin(const Commands::NvmeAdmin &command, const QString &what);
    QByteArray sgIo(const QByteArray &cdb, int dataLength, QByteArray *sense);
    void fail(Failure failure, const QString &text);
    void failErrno(int error, const QString &what);

    const Reader &m_reader;
    int m_fd = -1;
    Failure m_openFailure = Failure::None;
    Failure m_failure = Failure::None;
    QString m_failureText;
};

// EPERM/EACCES, ENOTTY/EINVAL/EOPNOTSUPP, anything else.
Failure classifyErrno(int error);

} // namespace Services::Nodes::Linux
