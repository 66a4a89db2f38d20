#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>

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
    QString propertyName(int i) override { return i >= 0 && i < m_p.properties.size() ? m_p.properties[i].first : QString(); }
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
    MemoryProvider m_p;  // a copy: the interface sees the node as it was when opened
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

LogCapture::LogCapture() { SysLogStream::setStdOutPrinter(this); }
LogCapture::~LogCapture() { SysLogStream::setStdOutPrinter(nullptr); }

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

bool matchesExpected(const QByteArray &actual, const QString &name, QString *why)
{
    const QString path = QStringLiteral(SOURCE_DIR_FOR_SUPPORT "/tests/expected/") + name;
    QFile file(path);
    if (qEnvironmentVariable("DRIVESCOPE_UPDATE_EXPECTED") == QLatin1String("1")) {
        QDir().mkpath(QFileInfo(path).path());
        if (file.open(QIODevice::WriteOnly) && file.write(actual) == actual.size())
            return true;
        *why = QStringLiteral("cannot write ") + path;
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *why = path + QStringLiteral(" is missing (DRIVESCOPE_UPDATE_EXPECTED=1 writes it)");
        return false;
    }
    const QList<QByteArray> expected = file.readAll().split('\n');
    const QList<QByteArray> got = actual.split('\n');
    for (int i = 0; i < qMax(expected.size(), got.size()); ++i) {
        if (expected.value(i) != got.value(i)) {
            *why = QStringLiteral("%1 line %2:\n expected: %3\n actual:   %4")
                       .arg(name)
                       .arg(i + 1)
                       .arg(QString::fromUtf8(expected.value(i)), QString::fromUtf8(got.value(i)));
            return false;
        }
    }
    return true;
}

} // namespace TestSupport
