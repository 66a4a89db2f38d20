#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <scsi/sg.h>
#include <sys/sysmacros.h>

#include "platform/Error.h"

namespace TestSupport {

using namespace Services::Nodes;

void MemoryProvider::set(const QString &name, const PropertyValue &value)
{
    for (auto &p : properties)
        if (p.first == name) {
            p.second = value;
            return;
        }
    properties.append({name, value});
}

void MemoryProvider::setSet(const QString &name, const PropertyValue &value)
{
    for (auto &p : sets)
        if (p.first == name) {
            p.second = value;
            return;
        }
    sets.append({name, value});
}

namespace {

class MemNode : public Node {
public:
    MemNode(const QString &path, const QString &canonical) : m_path(path), m_canonical(canonical) {}
    QString path() const override { return m_path; }
    QString canonicalName() const override { return m_canonical; }

private:
    QString m_path, m_canonical;
};

class MemProvider : public Provider {
public:
    MemProvider(const Ref<Node> &node, int index) : m_node(node), m_index(index) {}
    Ref<Node> node() const override { return m_node; }
    int index() const override { return m_index; }

private:
    Ref<Node> m_node;
    int m_index;
};

class MemGeneric : public Interfaces::Generic {
public:
    explicit MemGeneric(const MemoryProvider &p) : m_p(p) {}
    int propertyCount() override { return m_p.properties.size(); }
    QString propertyName(int i) override
    {
        return i >= 0 && i < m_p.properties.size() ? m_p.properties[i].first : QString();
    }
    PropertyValue read(const QString &name) override
    {
        for (const auto &p : m_p.properties)
            if (p.first == name)
                return p.second;
        Error::set(Error::NotFound);
        return {};
    }
    int propertySetCount() override { return m_p.sets.size(); }
    QString propertySetName(int i) override { return i >= 0 && i < m_p.sets.size() ? m_p.sets[i].first : QString(); }
    PropertyValue request(const PropertyValue &args) override
    {
        for (const Variant &arg : args)
            for (const auto &s : m_p.sets)
                if (s.first == arg.name)
                    return s.second;
        Error::set(Error::NotFound);
        return {};
    }

private:
    MemoryProvider m_p; // a copy: the interface sees the node as it was when opened
};

class MemStorage : public Interfaces::Storage {
public:
    explicit MemStorage(const MemoryNode &n)
        : m_image(n.image), m_size(n.blockSize), m_count(n.blockCount), m_refuse(n.fail.contains("read"))
    {
    }
    quint64 blockSize() override { return m_size; }
    quint64 blockCount() override { return m_count; }
    bool read(quint64 first, quint32 count, void *buffer) override
    {
        if (m_refuse || m_size == 0 || first > m_count || count > m_count - first) {
            Error::set(Error::IoFailed);
            return false;
        }
        auto *out = static_cast<char *>(buffer);
        std::memset(out, 0, size_t(count * m_size));
        const quint64 begin = first * m_size;
        if (begin < quint64(m_image.size())) {
            const quint64 n = qMin<quint64>(count * m_size, quint64(m_image.size()) - begin);
            std::memcpy(out, m_image.constData() + begin, size_t(n));
        }
        return true;
    }

private:
    QByteArray m_image;
    quint64 m_size, m_count;
    bool m_refuse;
};

class MemLockable : public Interfaces::Lockable {
public:
    bool lock() override { return true; }
    void unlock() override {}
};

} // namespace

MemoryNode &MemoryBackend::node(const QString &path)
{
    MemoryNode &n = nodes[path];
    if (n.canonical.isEmpty())
        n.canonical = path;
    return n;
}

MemoryBackend &MemoryBackend::install()
{
    auto backend = std::make_unique<MemoryBackend>();
    MemoryBackend &ref = *backend;
    Backend::install(std::move(backend));
    return ref;
}

Ref<Node> MemoryBackend::open(const QString &path)
{
    auto it = nodes.find(path);
    if (it == nodes.end() || it->fail.contains(QStringLiteral("open"))) {
        Error::set(Error::NotFound);
        return nullptr;
    }
    return std::make_shared<MemNode>(path, it->canonical);
}

Ref<Provider> MemoryBackend::provider(const Ref<Node> &node, int index)
{
    auto it = nodes.find(node->path());
    if (it == nodes.end() || it->fail.contains(QStringLiteral("provider")) ||
        (index != 0 && !it->providers.contains(index))) {
        Error::set(Error::NotFound);
        return nullptr;
    }
    return std::make_shared<MemProvider>(node, index);
}

Ref<Interfaces::Generic> MemoryBackend::generic(const Ref<Provider> &provider)
{
    auto it = nodes.find(provider->node()->path());
    if (it == nodes.end() || it->fail.contains(QStringLiteral("generic"))) {
        Error::set(Error::Unsupported);
        return nullptr;
    }
    return std::make_shared<MemGeneric>(it->providers.value(provider->index()));
}

Ref<Interfaces::Storage> MemoryBackend::storage(const Ref<Provider> &provider)
{
    auto it = nodes.find(provider->node()->path());
    if (it == nodes.end() || it->blockSize == 0 || it->fail.contains(QStringLiteral("storage"))) {
        Error::set(Error::Unsupported);
        return nullptr;
    }
    return std::make_shared<MemStorage>(*it);
}

Ref<Interfaces::Lockable> MemoryBackend::lockable(const Ref<Provider> &provider)
{
    auto it = nodes.find(provider->node()->path());
    if (it == nodes.end() || it->blockSize == 0 || it->fail.contains(QStringLiteral("lockable"))) {
        Error::set(Error::Unsupported);
        return nullptr;
    }
    return std::make_shared<MemLockable>();
}

Ref<DeviceClient> MemoryBackend::deviceClient(const QString &)
{
    Error::set(Error::Unsupported);
    return nullptr;
}

Ref<DeviceClient> MemoryBackend::driveListClient()
{
    Error::set(Error::Unsupported);
    return nullptr;
}

// ---- log and message capture ----

LogCapture::LogCapture()
{
    SysLogStream::setStdOutPrinter(this);
}
LogCapture::~LogCapture()
{
    SysLogStream::setStdOutPrinter(nullptr);
}

void LogCapture::write(const char *data, size_t length)
{
    QMutexLocker lock(&m_mutex);
    m_text.append(data, qsizetype(length));
}

QString LogCapture::text() const
{
    QMutexLocker lock(&m_mutex);
    return QString::fromUtf8(m_text);
}

namespace {
QMutex messageMutex;
QList<QPair<QtMsgType, QString>> *captured = nullptr;
QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    QMutexLocker lock(&messageMutex);
    if (captured)
        captured->append({type, text});
}
} // namespace

MessageCapture::MessageCapture()
{
    QMutexLocker lock(&messageMutex);
    captured = new QList<QPair<QtMsgType, QString>>;
    previousHandler = qInstallMessageHandler(recordMessage);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(previousHandler);
    QMutexLocker lock(&messageMutex);
    delete captured;
    captured = nullptr;
}

QStringList MessageCapture::messages(QtMsgType type) const
{
    QMutexLocker lock(&messageMutex);
    QStringList out;
    for (const auto &m : *captured)
        if (m.first == type)
            out << m.second;
    return out;
}

QStringList MessageCapture::all() const
{
    QMutexLocker lock(&messageMutex);
    QStringList out;
    for (const auto &m : *captured)
        out << m.second;
    return out;
}

bool MessageCapture::contains(const QString &needle) const
{
    for (const QString &m : all())
        if (m.contains(needle))
            return true;
    return false;
}

QString sharedTestData()
{
    QString root = qEnvironmentVariable("DRIVESCOPE_SHARED");
    if (root.isEmpty())
        root = QStringLiteral(SOURCE_DIR_FOR_SUPPORT "/../shared");
    const QString dir = QDir(root).filePath(QStringLiteral("testdata"));
    return QFileInfo(dir).isDir() ? QDir(dir).absolutePath() : QString();
}

int FakeDevices::open(const char *path, int)
{
    QMutexLocker lock(&m_mutex);
    m_opens << QFileInfo(QString::fromLocal8Bit(path)).fileName();
    return 1000 + int(m_opens.size()) - 1;
}

int FakeDevices::fstat(int fd, struct stat *st)
{
    QString name;
    {
        QMutexLocker lock(&m_mutex);
        name = m_opens.value(fd - 1000);
    }
    std::memset(st, 0, sizeof *st);
    QString dev = m_sys + QStringLiteral("/block/") + name + QStringLiteral("/dev");
    st->st_mode = S_IFBLK;
    if (!QFileInfo::exists(dev)) {
        // An NVMe controller: its character device.
        QDirIterator it(m_sys + QStringLiteral("/devices"), {QStringLiteral("dev")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (file.endsWith(QStringLiteral("/nvme/") + name + QStringLiteral("/dev")))
                dev = file;
        }
        st->st_mode = S_IFCHR;
    }
    QFile f(dev);
    const QList<QByteArray> number =
        f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().split(':') : QList<QByteArray>();
    if (number.size() == 2)
        st->st_rdev = makedev(number[0].toUInt(), number[1].toUInt());
    return 0;
}

int FakeDevices::ioctl(int, unsigned long request, void *argument)
{
    {
        QMutexLocker lock(&m_mutex);
        ++m_requests;
        if (request == SG_IO) {
            const auto *io = static_cast<const sg_io_hdr *>(argument);
            m_cdbs << QString::fromLatin1(
                QByteArray(reinterpret_cast<const char *>(io->cmdp), io->cmd_len).toHex(' ').toUpper());
        }
    }
    if (sleepMs)
        QThread::msleep(ulong(sleepMs));
    errno = error;
    return -1;
}

ssize_t FakeDevices::pread(int, void *, size_t, off_t)
{
    errno = EIO;
    return -1;
}

QStringList FakeDevices::opens() const
{
    QMutexLocker lock(&m_mutex);
    return m_opens;
}

QStringList FakeDevices::cdbs() const
{
    QMutexLocker lock(&m_mutex);
    return m_cdbs;
}

int FakeDevices::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

bool copyTree(const QString &from, const QString &to)
{
    return QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), from + QStringLiteral("/."), to}) == 0;
}

} // namespace TestSupport
