// The one gate of the Linux backend to the machine: every sysfs read, device
// open and ioctl goes through a Reader. Its roots are configurable
// (DRIVESCOPE_SYSFS_ROOT, DRIVESCOPE_DEV_ROOT) so that tests run the same code
// over unpacked sysfs dumps. A missing attribute reads as an empty value, never
// as an error.
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/types.h>

#include "platform/linux/Allowlist.h"

namespace Services::Nodes::Linux {

// The system calls behind every device access. Tests hand in their own to
// record what would be sent or to play a slow device; -1 with errno set on
// failure, as the calls themselves.
class DeviceIo {
public:
    virtual ~DeviceIo() = default;
    virtual int open(const char *path, int flags);
    virtual int fstat(int fd, struct stat *st);
    virtual int ioctl(int fd, unsigned long request, void *argument);
    virtual ssize_t pread(int fd, void *buffer, size_t length, off_t offset);
    virtual int flock(int fd, int operation);
    virtual int close(int fd);
};

// The node a device open means: a block device or (NVMe controller) a
// character device, whose number sysfs gives in `<sysFolder>/dev`.
struct DeviceNode {
    QString name;      // below the device root: "sda", "nvme0"
    QString sysFolder; // "/devices/.../block/sda", "/devices/.../nvme/nvme0"
    bool block = true;
};

class Reader {
public:
    // Roots default to /sys and /dev; empty arguments take the environment.
    // A null `io` is the system's.
    explicit Reader(const QString &sysRoot = QString(), const QString &devRoot = QString(),
                    std::shared_ptr<DeviceIo> io = nullptr);

    QString sysRoot() const { return m_sys; }
    QString devRoot() const { return m_dev; }

    // Paths below are sysfs paths as the kernel shows them ("/block/sda/size",
    // "/devices/pci0000:00/..."): always relative to the sysfs root.

    // Raw bytes of an attribute, at most `limit` bytes; null when absent.
    QByteArray bytes(const QString &path, qint64 limit = 1 << 20) const;
    // The attribute's text with surrounding blanks and line ends removed; null
    // when absent or empty.
    QString text(const QString &path) const;
    // A number in decimal or 0x-hexadecimal (`base` 16 reads bare hex digits).
    std::optional<quint64> number(const QString &path, int base = 0) const;
    bool exists(const QString &path) const;
    bool isDir(const QString &path) const;
    // Entry names of a folder, sorted; empty when it is not there.
    QStringList entries(const QString &path) const;
    // The canonical sysfs path (symbolic links resolved, still relative to the
    // root); null when the path does not exist or leaves the root.
    QString resolve(const QString &path) const;
    // The file-system path of a sysfs path (for monitors and messages).
    QString hostPath(const QString &path) const { return m_sys + path; }
    // Text from /proc beside the sysfs root (the kernel command line).
    QString procText(const QString &path) const;

    // The name below the device root that `path` ("/dev/sda", a link such as
    // "/dev/disk/by-id/...") leads to: "sda". Null when it leads nowhere or
    // out of the device root.
    QString deviceName(const QString &path) const;

    // Opens /dev/<name> read-only, non-blocking, close-on-exec, and checks
    // the descriptor before anything is sent: it must be the kind of node meant
    // with the number sysfs gives. -1 on failure with errno kept in *error
    // (ENODEV, logged, when the node is not the device meant).
    int openDevice(const DeviceNode &node, int *error) const;
    // Sends one request after the allow-list accepted it for the class. -1
    // with errno EPERM when the list refuses it (logged); otherwise the ioctl's
    // own result.
    int ioctl(int fd, Allowlist::DeviceClass deviceClass, unsigned long request, void *argument) const;
    ssize_t pread(int fd, void *buffer, size_t length, off_t offset) const;
    int flock(int fd, int operation) const;
    void close(int fd) const;

private:
    QString m_sys;
    QString m_dev;
    std::shared_ptr<DeviceIo> m_io;
};

// Parses "123", "0x1f" (or bare hex when base is 16); nothing on garbage.
std::optional<quint64> parseNumber(const QString &text, int base = 0);

} // namespace Services::Nodes::Linux
