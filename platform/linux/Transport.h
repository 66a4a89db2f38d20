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

// One device opened for raw commands. Each command waits at most a few
// seconds and is tried at most twice; a device that let a command time out
// twice gets no further command from this RawDevice, so a dead bridge costs
// seconds, not minutes.
class RawDevice {
public:
    RawDevice(const Reader &reader, const DeviceNode &node, Allowlist::DeviceClass deviceClass);
    // Over a descriptor someone else opened (and closes); `openError` is the
    // errno of its failed open when `fd` is -1.
    RawDevice(const Reader &reader, int fd, int openError, const QString &name, Allowlist::DeviceClass deviceClass);
    ~RawDevice();
    RawDevice(const RawDevice &) = delete;
    RawDevice &operator=(const RawDevice &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    Allowlist::DeviceClass deviceClass() const { return m_class; }
    // Later commands may learn the class (INQUIRY byte 0 where sysfs has none).
    void setDeviceClass(Allowlist::DeviceClass c) { m_class = c; }
    Failure openFailure() const { return m_openFailure; }
    int fd() const { return m_fd; }
    // The last failure of a command, and its text for the log.
    Failure failure() const { return m_failure; }
    QString failureText() const { return m_failureText; }

    // An ATA command through SG_IO: 512 bytes for data-in commands, an empty
    // non-null array for non-data ones (their registers land in *sense).
    // Tries ATA PASS-THROUGH (16), then (12), each only where the allow-list
    // lists it for the device's class (no (12) to optical drives, where 0xA1
    // is BLANK). Null on failure.
    QByteArray ata(Commands::AtaCommand command, Commands::Sense *sense);
    QByteArray inquiry(bool evpd, quint8 page, quint16 allocation);
    QByteArray nvmeIdentify(quint32 cns, quint32 nsid);
    // The 512-byte SMART / Health Information log of the controller.
    QByteArray nvmeSmartLog();
    QByteArray mmcExtCsd();

    // Longest wait for one command, in milliseconds.
    static constexpr unsigned int timeoutMs = 4000;

private:
    QByteArray nvmeAdmin(const Commands::NvmeAdmin &command, const QString &what);
    QByteArray sgIo(const QByteArray &cdb, int dataLength, QByteArray *sense);
    QByteArray sgIoOnce(const QByteArray &cdb, int dataLength, QByteArray *sense);
    // Runs `send` once more when it failed with a device error; stops the
    // device after a second time-out.
    template <typename Send> QByteArray withRetry(Send send);
    void fail(Failure failure, const QString &text);
    void failOpen(int error, const QString &name);
    void failErrno(int error, const QString &what);

    const Reader &m_reader;
    Allowlist::DeviceClass m_class;
    int m_fd = -1;
    bool m_ownsFd = true;
    bool m_timedOut = false;     // the last failure was a time-out
    bool m_unresponsive = false; // two time-outs in a row: nothing more is sent
    Failure m_openFailure = Failure::None;
    Failure m_failure = Failure::None;
    QString m_failureText;
};

// EPERM/EACCES, ENOTTY/EINVAL/EOPNOTSUPP, anything else.
Failure classifyErrno(int error);

} // namespace Services::Nodes::Linux
