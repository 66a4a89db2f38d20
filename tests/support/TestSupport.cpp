#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <scsi/sg.h>
#include <sys/sysmacros.h>

#include "model/Roles.h"
#include "platform/Error.h"
#include "platform/sim/NodeTreeReader.h"

namespace TestSupport {

using namespace Services::Nodes;

namespace {
void put(QList<QPair<QString, PropertyValue>> &list, const QString &name, const PropertyValue &value)
{
    for (auto &p : list)
        if (p.first == name) {
            p.second = value;
            return;
        }
    list.append({name, value});
}
} // namespace

void MemoryProvider::set(const QString &name, const PropertyValue &value)
{
    put(properties, name, value);
}
void MemoryProvider::setSet(const QString &name, const PropertyValue &value)
{
    put(sets, name, value);
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

// The node behind `provider` unless it is set to fail `operation` or, for
// block interfaces, has none; null then, with the error "unsupported".
static const MemoryNode *usable(const QMap<QString, MemoryNode> &nodes, const Ref<Provider> &provider,
                                const char *operation, bool needsBlocks)
{
    auto it = nodes.find(provider->node()->path());
    if (it == nodes.end() || (needsBlocks && it->blockSize == 0) || it->fail.contains(QLatin1String(operation))) {
        Error::set(Error::Unsupported);
        return nullptr;
    }
    return &*it;
}

Ref<Interfaces::Generic> MemoryBackend::generic(const Ref<Provider> &provider)
{
    const MemoryNode *n = usable(nodes, provider, "generic", false);
    return n ? std::make_shared<MemGeneric>(n->providers.value(provider->index())) : nullptr;
}

Ref<Interfaces::Storage> MemoryBackend::storage(const Ref<Provider> &provider)
{
    const MemoryNode *n = usable(nodes, provider, "storage", true);
    return n ? std::make_shared<MemStorage>(*n) : nullptr;
}

Ref<Interfaces::Lockable> MemoryBackend::lockable(const Ref<Provider> &provider)
{
    return usable(nodes, provider, "lockable", true) ? std::make_shared<MemLockable>() : nullptr;
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

LogCapture::LogCapture(int level) : m_level(SysLogFilter::level())
{
    for (int c = 0; c < SysLogFilter::channelCount(); ++c) {
        m_states.append(SysLogFilter::state(c));
        SysLogFilter::setState(c, true);
    }
    SysLogFilter::setLevel(level);
    SysLogStream::setStdOutPrinter(this);
}

LogCapture::~LogCapture()
{
    SysLogStream::setStdOutPrinter(nullptr);
    SysLogFilter::setLevel(m_level);
    for (int c = 0; c < m_states.size(); ++c)
        SysLogFilter::setState(c, m_states[c]);
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

QStringList LogCapture::messages() const
{
    static const QRegularExpression prefix(QStringLiteral(R"(^[^\[]*\[[^\]]*\] [^:]*: )"));
    QStringList out;
    for (QString line : text().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out << line.remove(prefix);
    return out;
}

QString shownText(QAbstractItemModel &model)
{
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QString out;
    for (int g = 0; g < model.rowCount(); ++g) {
        const QModelIndex title = model.index(g, 0);
        out += QLatin1Char('[') + model.data(title).toString() + QStringLiteral("]\n");
        for (int r = 0; r < model.rowCount(title); ++r) {
            const QModelIndex value = model.index(r, 1, title);
            const bool dimmed = model.data(value, Applications::DriveScope::Model::Roles::Dimmed).toBool();
            out += model.data(model.index(r, 0, title)).toString() + QStringLiteral(" = ") +
                   (dimmed ? QStringLiteral("~") : QString()) + model.data(value).toString() + QLatin1Char('\n');
        }
    }
    return out;
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

QString sharedDataOrSkip(const QString &sub, const char *file, int line)
{
    const QString root = sharedTestData();
    const QString dir = root.isEmpty() ? QString() : QDir(root).filePath(sub);
    if (!dir.isEmpty() && QFileInfo(dir).exists())
        return dir;
    const QByteArray message = "the shared real-drive data (DRIVESCOPE_SHARED/testdata/" + sub.toUtf8() + ") is absent";
    if (qEnvironmentVariableIsSet("CI"))
        QTest::qFail(message.constData(), file, line);
    else
        QTest::qSkip(message.constData(), file, line);
    return QString();
}

QString compareGolden(const QString &name, const QString &actual)
{
    const QString path = QStringLiteral(SOURCE_DIR_FOR_SUPPORT "/tests/expected/") + name;
    if (qEnvironmentVariable("DRIVESCOPE_UPDATE_EXPECTED") == QLatin1String("1")) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(actual.toUtf8()) < 0)
            return QStringLiteral("cannot write ") + path;
        return QString();
    }
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("no expected file %1 (DRIVESCOPE_UPDATE_EXPECTED=1 writes it)").arg(path);
    const QString expected = QString::fromUtf8(in.readAll());
    if (expected == actual)
        return QString();
    const QString actualPath = QDir::current().filePath(QString(name).replace('/', '_') + QStringLiteral(".actual"));
    QFile keep(actualPath);
    if (keep.open(QIODevice::WriteOnly | QIODevice::Truncate))
        keep.write(actual.toUtf8());
    const QStringList want = expected.split('\n'), got = actual.split('\n');
    qsizetype i = 0;
    while (i < want.size() && i < got.size() && want[i] == got[i])
        ++i;
    return QStringLiteral("%1 differs at line %2:\n  expected: %3\n  actual:   %4\n(all of it: %5)")
        .arg(name)
        .arg(i + 1)
        .arg(want.value(i, QStringLiteral("<end>")), got.value(i, QStringLiteral("<end>")), actualPath);
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
    if (gate)
        gate->acquire();
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

QString shownValue(const PropertyValue &value)
{
    QStringList parts;
    for (const Variant &v : value) {
        QString s = v.name.isNull() ? QString() : v.name + QLatin1Char('=');
        switch (v.kind) {
        case Variant::Integer:
            s += QString::number(v.integer);
            break;
        case Variant::Text:
            s += QLatin1Char('"') + QString(v.text).replace('\n', QLatin1String("\\n")) + QLatin1Char('"');
            break;
        case Variant::Buffer:
            s += QStringLiteral("buffer(%1)").arg(QString::fromLatin1(v.buffer.toHex(' ')));
            break;
        case Variant::List:
            s += QLatin1Char('[') + shownValue(v.list) + QLatin1Char(']');
            break;
        default:
            s += QStringLiteral("none");
        }
        parts << s;
    }
    return parts.join(QStringLiteral(", "));
}

QList<std::pair<QString, MemoryNode>> memoryCases(const QString &name)
{
    const auto read = Sim::loadNodeTree(QStringLiteral(SOURCE_DIR_FOR_SUPPORT "/tests/data/") + name);
    if (!read.errors.isEmpty())
        qFatal("%s", qPrintable(read.errors.join('\n')));
    QList<std::pair<QString, MemoryNode>> cases;
    for (const Sim::NodeData &data : read.tree.nodes) {
        MemoryNode node;
        for (auto p = data.providers.cbegin(); p != data.providers.cend(); ++p)
            node.providers[p.key()] = {p->properties, p->sets};
        node.blockSize = data.storage ? data.storage->blockSize : 0;
        node.blockCount = data.storage ? data.storage->blockCount : 0;
        node.fail = data.fail;
        cases.append({data.path, node});
    }
    return cases;
}

QString shownDrives(Services::Nodes::Backend &backend)
{
    QString out;
    for (const Services::Nodes::DriveEntry &drive : backend.drives()) {
        out += QStringLiteral("== %1 \"%2\" type %3\n").arg(drive.path, drive.label).arg(drive.type);
        const auto node = backend.open(drive.path);
        for (int index = 0; node; ++index) {
            const auto provider = backend.provider(node, index);
            const auto generic = provider ? backend.generic(provider) : nullptr;
            if (!generic)
                break;
            for (int i = 0; i < generic->propertyCount(); ++i) {
                const QString name = generic->propertyName(i);
                out += QStringLiteral("  [%1] %2 = %3\n").arg(index).arg(name, shownValue(generic->read(name)));
            }
            QStringList sets;
            for (int i = 0; i < generic->propertySetCount(); ++i)
                sets << generic->propertySetName(i);
            if (!sets.isEmpty())
                out += QStringLiteral("  [%1] sets: %2\n").arg(index).arg(sets.join(QStringLiteral(", ")));
        }
    }
    return out;
}

Run run(const QString &program, const QStringList &arguments, const QStringList &environment, const QByteArray &input)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : environment) {
        if (entry.contains(QLatin1Char('=')))
            env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
        else
            env.remove(entry);
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Run result;
    if (!process.waitForStarted())
        return result;
    result.pid = process.processId();
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

bool writeScript(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() &&
           f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool copyTree(const QString &from, const QString &to)
{
    return QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), from + QStringLiteral("/."), to}) == 0;
}

} // namespace TestSupport
