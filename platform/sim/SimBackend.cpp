// The simulator backend: answers the node service from a tree read by
// NodeTreeReader and turns edits of the tree files into node events.
#include "platform/sim/SimBackend.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QtDebug>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/Error.h"
#include "platform/sim/NodeTreeReader.h"
#include "platform/sim/QueuedClient.h"

namespace Services::Nodes::Sim {

namespace {

using TreePtr = std::shared_ptr<const NodeTree>;

constexpr auto PollInterval = std::chrono::milliseconds(200);

class SimNode : public Node {
public:
    SimNode(const QString &path, const QString &canonical) : m_path(path), m_canonical(canonical) {}
    QString path() const override { return m_path; }
    QString canonicalName() const override { return m_canonical; }

private:
    QString m_path;
    QString m_canonical;
};

class SimProvider : public Provider {
public:
    SimProvider(const Ref<Node> &node, int index) : m_node(node), m_index(index) {}
    Ref<Node> node() const override { return m_node; }
    int index() const override { return m_index; }

private:
    Ref<Node> m_node;
    int m_index;
};

class SimGeneric : public Interfaces::Generic {
public:
    // `data` lives in `tree`, which this interface keeps alive.
    SimGeneric(TreePtr tree, const ProviderData *data, bool failRequest)
        : m_tree(std::move(tree)), m_data(data), m_failRequest(failRequest)
    {
    }

    int propertyCount() override { return int(m_data->properties.size()); }
    QString propertyName(int index) override
    {
        return index >= 0 && index < m_data->properties.size() ? m_data->properties[index].first : QString();
    }
    PropertyValue read(const QString &name) override
    {
        for (const auto &[n, value] : m_data->properties) {
            if (n == name)
                return value;
        }
        Error::set(Error::NotOffered); // as the Linux backend says it
        return {};
    }
    int propertySetCount() override { return int(m_data->sets.size()); }
    QString propertySetName(int index) override
    {
        return index >= 0 && index < m_data->sets.size() ? m_data->sets[index].first : QString();
    }
    PropertyValue request(const PropertyValue &arguments) override
    {
        if (m_failRequest) {
            Error::set(Error::IoFailed);
            return {};
        }
        for (const Variant &argument : arguments) {
            for (const auto &[n, value] : m_data->sets) {
                if (n == argument.name)
                    return value;
            }
        }
        Error::set(Error::NotFound);
        return {};
    }

private:
    TreePtr m_tree;
    const ProviderData *m_data;
    bool m_failRequest;
};

class SimStorage : public Interfaces::Storage {
public:
    SimStorage(const StorageData &data, bool failRead) : m_data(data), m_failRead(failRead) {}
    ~SimStorage() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    quint64 blockSize() override { return m_data.blockSize; }
    quint64 blockCount() override { return m_data.blockCount; }

    bool read(quint64 first, quint32 count, void *buffer) override
    {
        if (m_failRead) {
            Error::set(Error::IoFailed);
            return false;
        }
        if (first > m_data.blockCount || count > m_data.blockCount - first) {
            Error::set(Error::IoFailed);
            return false;
        }
        if (count == 0)
            return true;
        if (!buffer) {
            Error::set(Error::BadArguments);
            return false;
        }
        const size_t length = size_t(count) * m_data.blockSize;
        auto *out = static_cast<char *>(buffer);
        if (m_data.image.isEmpty()) {
            std::memset(out, 0, length);
            return true;
        }
        std::lock_guard lock(m_mutex);
        if (openImage() < 0) {
            Error::set(Error::IoFailed);
            return false;
        }
        size_t done = 0;
        const off_t offset = off_t(first * m_data.blockSize);
        while (done < length) {
            const ssize_t n = ::pread(m_fd, out + done, length - done, offset + off_t(done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                Error::set(Error::IoFailed);
                return false;
            }
            if (n == 0)
                break; // past the end of the image: the rest reads as zeros
            done += size_t(n);
        }
        std::memset(out + done, 0, length - done);
        return true;
    }

    // The image file; none for a storage without image or that fails its reads
    // (reads past the image's end give zeros there as they do through read()).
    int descriptor() override
    {
        if (m_failRead || m_data.image.isEmpty())
            return -1;
        std::lock_guard lock(m_mutex);
        return openImage();
    }

private:
    // Locked. The descriptor, opened on first use; -1 on failure.
    int openImage()
    {
        if (m_fd < 0) {
            // Read-only, and never anything else; no read-ahead: probes read
            // a few blocks here and there.
            m_fd = ::open(QFile::encodeName(m_data.image).constData(), O_RDONLY | O_CLOEXEC);
            if (m_fd >= 0)
                ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_RANDOM);
        }
        return m_fd;
    }

    StorageData m_data;
    bool m_failRead;
    std::mutex m_mutex;
    int m_fd = -1;
};

class SimLockable : public Interfaces::Lockable {
public:
    bool lock() override
    {
        m_locked = true;
        return true;
    }
    void unlock() override { m_locked = false; }

private:
    bool m_locked = false;
};

class SimDeviceClient : public QueuedClient {
public:
    explicit SimDeviceClient(const QString &path) : m_path(path) {}

    const QString &path() const { return m_path; }

private:
    const QString m_path; // null for a drive-list client
};

// What the poller knows of one watched file.
struct Stamp {
    bool statted = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 mtimeNs = 0;
    bool operator==(const Stamp &) const = default;
};

Stamp stampOf(const QString &path)
{
    Stamp s;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        s.statted = true;
        s.device = st.st_dev;
        s.inode = st.st_ino;
        s.size = st.st_size;
        s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    return s;
}

class SimBackend : public Backend {
public:
    explicit SimBackend(const QString &treeFile)
        : m_file(QDir::cleanPath(QFileInfo(treeFile).absoluteFilePath())), m_tree(std::make_shared<NodeTree>())
    {
        ReadResult r = loadNodeTree(m_file);
        std::lock_guard lock(m_mutex);
        adopt(std::move(r));
    }

    ~SimBackend() override
    {
        {
            std::lock_guard lock(m_pollMutex);
            m_stop = true;
        }
        m_pollWake.notify_all();
        if (m_poller.joinable())
            m_poller.join();
    }

    QString describe() const override { return QStringLiteral("simulator ") + m_file; }

    bool available() const override
    {
        std::lock_guard lock(m_mutex);
        return m_rootRead;
    }

    QStringList errors() const override
    {
        std::lock_guard lock(m_mutex);
        return m_errors;
    }

    Ref<Node> open(const QString &path) override
    {
        const TreePtr tree = current();
        const NodeData *n = tree->find(path);
        if (!n) {
            Error::set(Error::NotFound);
            return nullptr;
        }
        if (n->fails(QStringLiteral("open"))) {
            Error::set(Error::OpenFailed);
            return nullptr;
        }
        return std::make_shared<SimNode>(n->path, n->canonical);
    }

    Ref<Provider> provider(const Ref<Node> &node, int index) override
    {
        const TreePtr tree = current();
        const NodeData *n = lookup(*tree, node);
        if (!n)
            return nullptr;
        if (n->fails(QStringLiteral("provider"))) {
            Error::set(Error::OpenFailed);
            return nullptr;
        }
        if (!n->providers.contains(index)) {
            Error::set(Error::NotFound);
            return nullptr;
        }
        return std::make_shared<SimProvider>(node, index);
    }

    Ref<Interfaces::Generic> generic(const Ref<Provider> &provider) override
    {
        const TreePtr tree = current();
        const NodeData *n = lookup(*tree, provider ? provider->node() : nullptr);
        if (!n)
            return nullptr;
        const auto it = n->providers.constFind(provider->index());
        if (n->fails(QStringLiteral("generic")) || it == n->providers.cend()) {
            Error::set(it == n->providers.cend() ? Error::NotFound : Error::OpenFailed);
            return nullptr;
        }
        return std::make_shared<SimGeneric>(tree, &*it, n->fails(QStringLiteral("request")));
    }

    Ref<Interfaces::Storage> storage(const Ref<Provider> &provider) override
    {
        const TreePtr tree = current();
        const NodeData *n = lookup(*tree, provider ? provider->node() : nullptr);
        if (!n)
            return nullptr;
        if (n->fails(QStringLiteral("storage")) || !n->storage) {
            Error::set(n->storage ? Error::OpenFailed : Error::Unsupported);
            return nullptr;
        }
        return std::make_shared<SimStorage>(*n->storage, n->fails(QStringLiteral("read")));
    }

    Ref<Interfaces::Lockable> lockable(const Ref<Provider> &provider) override
    {
        const TreePtr tree = current();
        const NodeData *n = lookup(*tree, provider ? provider->node() : nullptr);
        if (!n)
            return nullptr;
        if (n->fails(QStringLiteral("lockable")) || !n->storage) {
            Error::set(n->storage ? Error::OpenFailed : Error::Unsupported);
            return nullptr;
        }
        return std::make_shared<SimLockable>();
    }

    Ref<DeviceClient> deviceClient(const QString &path) override
    {
        if (path.isEmpty()) {
            Error::set(Error::BadArguments);
            return nullptr;
        }
        return addClient(path);
    }

    QList<DriveEntry> drives() override
    {
        const TreePtr tree = current();
        QList<DriveEntry> out;
        for (const NodeData &n : tree->nodes) {
            if (n.drive)
                out.append(DriveEntry{n.path, n.label, 2});
        }
        return out;
    }

    Ref<DeviceClient> driveListClient() override { return addClient(QString()); }

    QList<CompanionNode> companionNodes(const QString &text) override { return current()->companions.value(text); }

    bool pciBusExists() override { return current()->find(QStringLiteral("/devices/pci/bus")) != nullptr; }
    bool hosted() override { return current()->hosted; }
    QString bootParameter() override { return current()->bootParameter; }

private:
    const QString m_file;

    mutable std::mutex m_mutex; // guards everything down to m_clients
    TreePtr m_tree;
    bool m_rootRead = false;
    QStringList m_errors;
    QMap<QString, QByteArray> m_digests; // watched file -> digest of what was last read
    QList<std::weak_ptr<SimDeviceClient>> m_clients;

    // Owned by the poller thread.
    QMap<QString, Stamp> m_stamps;

    std::mutex m_pollMutex;
    std::condition_variable m_pollWake;
    bool m_stop = false;
    std::thread m_poller;

    TreePtr current() const
    {
        std::lock_guard lock(m_mutex);
        return m_tree;
    }

    static const NodeData *lookup(const NodeTree &tree, const Ref<Node> &node)
    {
        if (!node || !dynamic_cast<const SimNode *>(node.get())) {
            Error::set(Error::BadArguments);
            return nullptr;
        }
        const NodeData *n = tree.find(node->path());
        if (!n)
            Error::set(Error::NotFound);
        return n;
    }

    Ref<DeviceClient> addClient(const QString &path)
    {
        auto client = std::make_shared<SimDeviceClient>(path);
        {
            std::lock_guard lock(m_mutex);
            m_clients.removeIf([](const std::weak_ptr<SimDeviceClient> &w) { return w.expired(); });
            m_clients.append(client);
        }
        std::lock_guard lock(m_pollMutex);
        if (!m_poller.joinable() && !m_stop)
            m_poller = std::thread([this] { pollLoop(); });
        return client;
    }

    // Reports the sentences of `r` that were not reported by the last read. Locked.
    void reportNew(const QStringList &errors)
    {
        const QSet<QString> before(m_errors.cbegin(), m_errors.cend());
        for (const QString &e : errors) {
            if (!before.contains(e))
                qWarning().noquote() << e;
        }
        m_errors = errors;
    }

    // Takes a read as the current tree, or only its errors when it failed and
    // a tree is already there. Returns the tree it replaced (null if none). Locked.
    TreePtr adopt(ReadResult r)
    {
        reportNew(r.errors);
        if (!r.complete && m_rootRead) {
            // Keep the last good tree; watch the files of both reads so a fix is seen.
            for (auto it = r.files.cbegin(); it != r.files.cend(); ++it)
                m_digests.insert(it.key(), it.value());
            return nullptr;
        }
        m_rootRead = m_rootRead || r.rootRead;
        m_digests = r.files;
        TreePtr old = m_tree;
        m_tree = std::make_shared<const NodeTree>(std::move(r.tree));
        return old;
    }

    void pollLoop()
    {
        std::unique_lock lock(m_pollMutex);
        bool retry = false;
        while (!m_stop) {
            m_pollWake.wait_for(lock, PollInterval, [this] { return m_stop; });
            if (m_stop)
                break;
            lock.unlock();
            if (changed() || retry)
                retry = !reload(retry);
            lock.lock();
        }
    }

    // True when a watched file's content differs from what was last read. A
    // file is only hashed when its stamp moved, or when it was written so
    // recently that a same-size edit within the clock's resolution could hide.
    bool changed()
    {
        QMap<QString, QByteArray> digests;
        {
            std::lock_guard lock(m_mutex);
            digests = m_digests;
        }
        const qint64 nowNs = QDateTime::currentMSecsSinceEpoch() * 1000000;
        bool any = false;
        QMap<QString, Stamp> stamps;
        for (auto it = digests.cbegin(); it != digests.cend(); ++it) {
            const Stamp s = stampOf(it.key());
            stamps.insert(it.key(), s);
            const bool recent = s.statted && nowNs - s.mtimeNs < 2000000000;
            if (!any && (recent || m_stamps.value(it.key()) != s || !m_stamps.contains(it.key())))
                any = fileDigest(it.key()) != it.value();
        }
        m_stamps = stamps;
        return any;
    }

    // Reads the files again and tells the clients what changed. A read that
    // fails while a good tree is there is only taken (and reported) when
    // `final`: the first failure may be an editor caught between truncating
    // and writing, so the caller retries on the next tick. False when it waits.
    bool reload(bool final)
    {
        ReadResult r = loadNodeTree(m_file);
        std::lock_guard lock(m_mutex);
        if (!r.complete && m_rootRead && !final)
            return false;
        const TreePtr old = adopt(std::move(r));
        if (!old)
            return true;
        QHash<QString, quint32> events;
        for (const NodeData &n : m_tree->nodes) {
            const NodeData *before = old->find(n.path);
            if (!before)
                events.insert(n.path, DeviceClient::Added);
            else if (!(*before == n))
                events.insert(n.path, DeviceClient::Changed);
        }
        for (const NodeData &n : old->nodes) {
            if (!m_tree->find(n.path))
                events.insert(n.path, DeviceClient::Removed);
        }
        if (events.isEmpty())
            return true;
        for (const auto &weak : std::as_const(m_clients)) {
            const auto client = weak.lock();
            if (!client)
                continue;
            if (client->path().isNull())
                client->post(DeviceClient::Changed);
            else if (const auto it = events.constFind(client->path()); it != events.cend())
                client->post(*it);
        }
        return true;
    }
};

} // namespace

std::unique_ptr<Backend> createBackend(const QString &treeFile)
{
    return std::make_unique<SimBackend>(treeFile);
}

} // namespace Services::Nodes::Sim
