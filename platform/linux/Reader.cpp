#include "platform/linux/Reader.h"

#include "platform/Log.h"
#include "platform/linux/Allowlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace Services::Nodes::Linux {

namespace {
const int channel = SysLogFilter::reg("Linux");

QString cleanRoot(QString root)
{
    while (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return root;
}
} // namespace

int DeviceIo::open(const char *path, int flags)
{
    return ::open(path, flags);
}

int DeviceIo::fstat(int fd, struct stat *st)
{
    return ::fstat(fd, st);
}

int DeviceIo::ioctl(int fd, unsigned long request, void *argument)
{
    return ::ioctl(fd, request, argument);
}

ssize_t DeviceIo::pread(int fd, void *buffer, size_t length, off_t offset)
{
    return ::pread(fd, buffer, length, offset);
}

int DeviceIo::flock(int fd, int operation)
{
    return ::flock(fd, operation);
}

int DeviceIo::close(int fd)
{
    return ::close(fd);
}

Reader::Reader(const QString &sysRoot, const QString &devRoot, std::shared_ptr<DeviceIo> io)
    : m_io(io ? std::move(io) : std::make_shared<DeviceIo>())
{
    QString sys = sysRoot.isEmpty() ? qEnvironmentVariable("DRIVESCOPE_SYSFS_ROOT") : sysRoot;
    QString dev = devRoot.isEmpty() ? qEnvironmentVariable("DRIVESCOPE_DEV_ROOT") : devRoot;
    m_sys = cleanRoot(sys.isEmpty() ? QStringLiteral("/sys") : sys);
    m_dev = cleanRoot(dev.isEmpty() ? QStringLiteral("/dev") : dev);
    const QString canonical = QFileInfo(m_sys).canonicalFilePath();
    if (!canonical.isEmpty())
        m_sys = canonical;
}

QByteArray Reader::bytes(const QString &path, qint64 limit) const
{
    QFile file(m_sys + path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    // sysfs files report a size of 4096 whatever they hold: read until the end.
    QByteArray data = file.read(limit);
    if (data.isNull())
        data = QByteArray("");
    return data;
}

QString Reader::text(const QString &path) const
{
    const QByteArray data = bytes(path, 64 * 1024);
    if (data.isNull())
        return QString();
    const QString value = QString::fromUtf8(data).trimmed();
    return value.isEmpty() ? QString() : value;
}

std::optional<quint64> parseNumber(const QString &text, int base)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    quint64 value = 0;
    if (base == 16 || t.startsWith(QLatin1String("0x")) || t.startsWith(QLatin1String("0X"))) {
        if (t.startsWith(QLatin1String("0x")) || t.startsWith(QLatin1String("0X")))
            t = t.mid(2);
        value = t.toULongLong(&ok, 16);
    } else {
        value = t.toULongLong(&ok, 10);
    }
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<quint64> Reader::number(const QString &path, int base) const
{
    return parseNumber(text(path), base);
}

bool Reader::exists(const QString &path) const
{
    return QFileInfo::exists(m_sys + path);
}

bool Reader::isDir(const QString &path) const
{
    return QFileInfo(m_sys + path).isDir();
}

QStringList Reader::entries(const QString &path) const
{
    return QDir(m_sys + path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
}

QString Reader::resolve(const QString &path) const
{
    const QString canonical = QFileInfo(m_sys + path).canonicalFilePath();
    if (canonical.isEmpty())
        return QString();
    if (canonical == m_sys)
        return QStringLiteral("/");
    if (!canonical.startsWith(m_sys + QLatin1Char('/')))
        return QString();
    return canonical.mid(m_sys.size());
}

QString Reader::procText(const QString &path) const
{
    // The proc folder sits beside the sysfs root, in dumps as on the machine.
    QFile file(QFileInfo(m_sys).path() + QStringLiteral("/proc") + path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(64 * 1024)).trimmed();
}

QString Reader::deviceName(const QString &path) const
{
    const QString prefix = QStringLiteral("/dev/");
    if (!path.startsWith(prefix))
        return QString();
    const QString root = QFileInfo(m_dev).canonicalFilePath();
    const QString target = QFileInfo(m_dev + QLatin1Char('/') + path.mid(prefix.size())).canonicalFilePath();
    if (root.isEmpty() || !target.startsWith(root + QLatin1Char('/')))
        return QString();
    return target.mid(root.size() + 1);
}

int Reader::openDevice(const DeviceNode &node, int *error) const
{
    int scratch = 0;
    if (!error)
        error = &scratch;
    if (node.name.isEmpty() || node.name.contains(QLatin1String(".."))) {
        *error = EINVAL;
        return -1;
    }
    const QString path = m_dev + QLatin1Char('/') + node.name;
    const int fd = m_io->open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    // The node must be the device sysfs describes: a file, a link to another
    // disk or a stale node left in place must not receive a single request.
    struct stat st;
    const QStringList number = text(node.sysFolder + QStringLiteral("/dev")).split(QLatin1Char(':'));
    bool majorOk = false, minorOk = false;
    const uint wantMajor = number.value(0).toUInt(&majorOk), wantMinor = number.value(1).toUInt(&minorOk);
    QString wrong;
    if (m_io->fstat(fd, &st) != 0)
        wrong = QStringLiteral("it cannot be examined");
    else if (node.block ? !S_ISBLK(st.st_mode) : !S_ISCHR(st.st_mode))
        wrong = QStringLiteral("it is not a %1 device")
                    .arg(node.block ? QStringLiteral("block") : QStringLiteral("character"));
    else if (number.size() != 2 || !majorOk || !minorOk)
        wrong = QStringLiteral("sysfs gives no device number for it");
    else if (st.st_rdev != makedev(wantMajor, wantMinor))
        wrong = QStringLiteral("it is device %1:%2, not %3:%4")
                    .arg(major(st.st_rdev))
                    .arg(minor(st.st_rdev))
                    .arg(wantMajor)
                    .arg(wantMinor);
    if (!wrong.isEmpty()) {
        SysLog::write(channel, LogLevel::Failure, QStringLiteral("Nothing sent to %1: %2.").arg(path, wrong));
        m_io->close(fd);
        *error = ENODEV;
        return -1;
    }
    *error = 0;
    return fd;
}

int Reader::ioctl(int fd, Allowlist::DeviceClass deviceClass, unsigned long request, void *argument) const
{
    QString why;
    if (!Allowlist::permits(deviceClass, request, argument, &why)) {
        SysLog::write(channel, LogLevel::Failure, QStringLiteral("Refused to send a request: ") + why);
        errno = EPERM;
        return -1;
    }
    int result;
    do {
        result = m_io->ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

ssize_t Reader::pread(int fd, void *buffer, size_t length, off_t offset) const
{
    return m_io->pread(fd, buffer, length, offset);
}

int Reader::flock(int fd, int operation) const
{
    return m_io->flock(fd, operation);
}

void Reader::close(int fd) const
{
    if (fd >= 0)
        m_io->close(fd);
}

} // namespace Services::Nodes::Linux
