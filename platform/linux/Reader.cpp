#include "platform/linux/Reader.h"

#include "platform/Log.h"
#include "platform/linux/Allowlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
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

Reader::Reader(const QString &sysRoot, const QString &devRoot)
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

int Reader::openDevice(const QString &name, int *error) const
{
    if (name.isEmpty() || name.contains(QLatin1String(".."))) {
        if (error)
            *error = EINVAL;
        return -1;
    }
    const QByteArray path = QFile::encodeName(m_dev + QLatin1Char('/') + name);
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (error)
        *error = fd < 0 ? errno : 0;
    return fd;
}

int Reader::ioctl(int fd, unsigned long request, void *argument) const
{
    QString why;
    if (!Allowlist::permits(request, argument, &why)) {
        SysLog::write(channel, 3, QStringLiteral("Refused to send a request: ") + why);
        errno = EPERM;
        return -1;
    }
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

} // namespace Services::Nodes::Linux
