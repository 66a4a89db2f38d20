// The node service's free functions, each answered by the backend in use.
#include "platform/Nodes.h"

#include "platform/Error.h"
#include "platform/disks/BlockCache.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/sim/SimBackend.h"

#include <QHash>
#include <mutex>

namespace Services::Nodes {

namespace {
std::mutex backendMutex;
std::unique_ptr<Backend> currentBackend;

// Storages somebody holds, by backend, canonical name and provider index.
std::mutex storageMutex;
QHash<QString, std::weak_ptr<Interfaces::Storage>> storagesInUse;

QString storageKey(const Backend &backend, const QString &canonicalName, int providerIndex)
{
    return QStringLiteral("%1|%2|%3").arg(quintptr(&backend)).arg(providerIndex).arg(canonicalName);
}

Ref<Interfaces::Storage> storageInUse(const QString &key)
{
    std::lock_guard lock(storageMutex);
    const auto it = storagesInUse.constFind(key);
    return it == storagesInUse.cend() ? nullptr : it->lock();
}
} // namespace

Backend &Backend::instance()
{
    std::lock_guard<std::mutex> lock(backendMutex);
    if (!currentBackend)
        currentBackend = fromEnvironment();
    return *currentBackend;
}

Backend *Backend::existing()
{
    std::unique_lock<std::mutex> lock(backendMutex, std::try_to_lock);
    return lock.owns_lock() ? currentBackend.get() : nullptr;
}

void Backend::install(std::unique_ptr<Backend> backend)
{
    std::lock_guard<std::mutex> lock(backendMutex);
    currentBackend = std::move(backend);
}

std::unique_ptr<Backend> Backend::fromEnvironment()
{
    const QString tree = qEnvironmentVariable("DRIVESCOPE_NODES");
    if (!tree.isEmpty())
        return Sim::createBackend(tree);
    return Linux::createBackend();
}

QString Backend::drivePath(const QString &name)
{
    for (const DriveEntry &entry : drives()) {
        if (entry.path == name)
            return name;
    }
    return QString();
}

QString Backend::kernelName(const QString &) const
{
    return QString();
}

QString Backend::hardwareName(IdBus, quint16, int) const
{
    return QString();
}

Ref<Provider> Provider::create(const Ref<Node> &node, int providerIndex)
{
    if (!node) {
        Error::set(Error::BadArguments);
        return nullptr;
    }
    return Backend::instance().provider(node, providerIndex);
}

Ref<Interfaces::Generic> Providers::Generic::create(const Ref<Provider> &provider)
{
    if (!provider) {
        Error::set(Error::BadArguments);
        return nullptr;
    }
    return Backend::instance().generic(provider);
}

Ref<Interfaces::Storage> Providers::Storage::create(const Ref<Provider> &provider)
{
    if (!provider) {
        Error::set(Error::BadArguments);
        return nullptr;
    }
    Backend &backend = Backend::instance();
    const Ref<Node> node = provider->node();
    const QString key = storageKey(backend, node ? node->canonicalName() : QString(), provider->index());
    if (Ref<Interfaces::Storage> shared = storageInUse(key))
        return shared;
    // Opened without the lock: a slow device must not hold up other drives.
    const Ref<Interfaces::Storage> opened = backend.storage(provider);
    if (!opened)
        return nullptr;
    std::lock_guard lock(storageMutex);
    for (auto it = storagesInUse.begin(); it != storagesInUse.end();)
        it = it->expired() ? storagesInUse.erase(it) : std::next(it);
    if (Ref<Interfaces::Storage> raced = storagesInUse.value(key).lock())
        return raced;
    auto cache = std::make_shared<Libraries::Disks::BlockCache>(opened);
    storagesInUse.insert(key, cache);
    return cache;
}

Ref<Interfaces::Storage> Providers::Storage::inUse(const Backend &backend, const QString &canonicalName,
                                                   int providerIndex)
{
    return storageInUse(storageKey(backend, canonicalName, providerIndex));
}

Ref<Interfaces::Lockable> Providers::Lockable::create(const Ref<Provider> &provider)
{
    if (!provider) {
        Error::set(Error::BadArguments);
        return nullptr;
    }
    return Backend::instance().lockable(provider);
}

Ref<DeviceClient> DeviceClient::create(const QString &path, bool)
{
    return Backend::instance().deviceClient(path);
}

} // namespace Services::Nodes

Ref<Services::Nodes::Node> Services::Filesystem::Client::Nodes::open(const QString &path)
{
    return Services::Nodes::Backend::instance().open(path);
}

QList<Services::Nodes::CompanionNode> Services::Driver::Client::Utils::companionNodes(const QString &text)
{
    return Services::Nodes::Backend::instance().companionNodes(text);
}
