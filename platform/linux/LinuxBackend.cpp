#include "platform/linux/LinuxBackend.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/linux/Discovery.h"
#include "platform/linux/HardwareDb.h"
#include "platform/linux/Hotplug.h"
#include "platform/linux/Properties.h"
#include "platform/linux/RawSource.h"
#include "platform/linux/Reader.h"
#include "platform/linux/Registers.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Services::Nodes::Linux {

namespace {

const int channel = SysLogFilter::reg("Linux");
const QString blockPrefix = QStringLiteral("/devices/block/");
const QString pciPrefix = QStringLiteral("/devices/pci/");
const QString pciBusPath = QStringLiteral("/devices/pci/bus");
const QString volumeServerPath = QStringLiteral("/devices/vsctrl");

// One disk in the current refresh: its properties, raw data read once, and its
// device opened once, for every interface handed out until the disk changes
// or a refresh begins. The mutex keeps two threads from reading it at once.
struct CachedDisk {
    CachedDisk(const Reader &reader, const Disk &disk, std::shared_ptr<RawSource> source) : props(reader, disk)
    {
        props.setRawSource(std::move(source));
    }
    QMutex mutex;
    DiskProperties props;
};

// Shared between the backend and the interfaces it hands out.
struct Shared {
    Reader reader;
    QMutex mutex;
    bool noRights = false;
    bool standby = false;
    // Where raw data comes from; a new source applies from the next refresh.
    std::shared_ptr<RawSource> source = localRawSource();
    // By kernel name; an entry lives as long as some interface holds it, so
    // no device stays open once the window has let go of a drive.
    QHash<QString, std::weak_ptr<CachedDisk>> disks;

    Shared(const QString &sys, const QString &dev, std::shared_ptr<DeviceIo> io) : reader(sys, dev, std::move(io)) {}

    void remember(const RawNotes &notes)
    {
        QMutexLocker lock(&mutex);
        noRights |= notes.noRights;
        standby |= notes.standby;
    }

    std::shared_ptr<CachedDisk> disk(const Disk &disk)
    {
        QMutexLocker lock(&mutex);
        std::shared_ptr<CachedDisk> entry = disks.value(disk.name).lock();
        if (!entry) {
            entry = std::make_shared<CachedDisk>(reader, disk, source);
            disks.insert(disk.name, entry);
        }
        return entry;
    }

    // Interfaces still holding the entry keep it; new ones read anew.
    void drop(const QString &name)
    {
        QMutexLocker lock(&mutex);
        disks.remove(name);
    }

    std::shared_ptr<RawSource> rawSource()
    {
        QMutexLocker lock(&mutex);
        return source;
    }
};

class LinuxNode : public Node {
public:
    QString path() const override { return m_path; }
    QString canonicalName() const override { return m_canonical; }

    QString m_path, m_canonical;
    std::optional<Disk> disk;  // drive nodes
    QString pciFolder;         // PCI function nodes
    bool bus = false;          // the PCI bus folder
    bool volumeServer = false; // the volume-server control node
};

class LinuxProvider : public Provider {
public:
    LinuxProvider(Ref<Node> node, int index) : m_node(std::move(node)), m_index(index) {}
    Ref<Node> node() const override { return m_node; }
    int index() const override { return m_index; }

private:
    Ref<Node> m_node;
    int m_index;
};

// Generic interface of a drive: provider 0 sees the drive's properties and
// every set, provider 1 the controller/SCSI properties and the SCSI sets.
class DriveGeneric : public Interfaces::Generic {
public:
    DriveGeneric(std::shared_ptr<Shared> shared, const Disk &disk, int index, const Backend &backend,
                 const QString &canonical)
        : m_shared(std::move(shared)), m_disk(m_shared->disk(disk)), m_props(m_disk->props), m_index(index)
    {
        // The table-type check takes its blocks from the cache of a refresh.
        const Backend *owner = &backend;
        m_props.headBlocks = [owner, canonical](qint64 bytes) {
            const Ref<Interfaces::Storage> storage = Providers::Storage::inUse(*owner, canonical, 0);
            const quint64 bs = storage ? storage->blockSize() : 0;
            if (bs == 0 || bytes <= 0)
                return QByteArray();
            const quint64 blocks = (quint64(bytes) + bs - 1) / bs;
            QByteArray data(qsizetype(blocks * bs), '\0');
            if (blocks > storage->blockCount() || !storage->read(0, quint32(blocks), data.data()))
                return QByteArray();
            return data.left(bytes);
        };
    }

    int propertyCount() override
    {
        QMutexLocker lock(&m_disk->mutex);
        return table(true).count();
    }
    QString propertyName(int index) override
    {
        QMutexLocker lock(&m_disk->mutex);
        return table(true).name(index);
    }

    PropertyValue read(const QString &name) override
    {
        QMutexLocker lock(&m_disk->mutex);
        PropertyValue value = table(false).value(name);
        if ((value.isEmpty() && !table(false).contains(name) && DiskProperties::rawOnly(name)) ||
            m_props.identityNeedsRaw(name))
            value = table(true).value(name);
        if (value.isEmpty())
            Error::set(Error::NotOffered);
        return value;
    }

    int propertySetCount() override
    {
        QMutexLocker lock(&m_disk->mutex);
        return int(setNames().size());
    }
    QString propertySetName(int index) override
    {
        QMutexLocker lock(&m_disk->mutex);
        return setNames().value(index);
    }

    PropertyValue request(const PropertyValue &arguments) override
    {
        QMutexLocker lock(&m_disk->mutex);
        PropertyValue result;
        const QStringList offered = setNames();
        for (const Variant &argument : arguments) {
            if (!offered.contains(argument.name)) {
                Error::set(Error::NotFound);
                continue;
            }
            const PropertyValue data = m_props.sets(true).value(argument.name);
            if (data.isEmpty())
                Error::set(m_props.notes().noRights ? Error::AccessDenied : Error::IoFailed);
            result.append(data);
        }
        return result;
    }

private:
    PropertyTable &table(bool withRaw)
    {
        PropertyTable &t = m_index == 0 ? m_props.node(withRaw) : m_props.companion(withRaw);
        if (withRaw)
            m_shared->remember(m_props.notes());
        return t;
    }

    // The drive list asks for these: a drive whose raw commands cannot add a
    // set answers from sysfs, without opening the device.
    QStringList setNames()
    {
        QStringList names;
        for (const auto &entry : m_props.sets(m_props.rawAddsSets()).entries()) {
            if (m_index == 0 || entry.first.startsWith(QLatin1String("GET_SCSI_")))
                names.append(entry.first);
        }
        m_shared->remember(m_props.notes());
        return names;
    }

    std::shared_ptr<Shared> m_shared;
    std::shared_ptr<CachedDisk> m_disk;
    DiskProperties &m_props;
    int m_index;
};

class TableGeneric : public Interfaces::Generic {
public:
    explicit TableGeneric(PropertyTable table) : m_table(std::move(table)) {}
    int propertyCount() override { return m_table.count(); }
    QString propertyName(int index) override { return m_table.name(index); }
    PropertyValue read(const QString &name) override
    {
        const PropertyValue value = m_table.value(name);
        if (value.isEmpty())
            Error::set(Error::NotOffered);
        return value;
    }
    int propertySetCount() override { return 0; }
    QString propertySetName(int) override { return QString(); }
    PropertyValue request(const PropertyValue &) override
    {
        Error::set(Error::NotFound);
        return {};
    }

private:
    PropertyTable m_table;
};

// The block device, opened read-only once per refresh (the descriptor belongs
// to the disk's cached properties): pread only, or reads through the helper
// (no device, no descriptor). Without the right to open it (fd -1) the
// geometry still comes from sysfs and every read is refused.
class BlockStorage : public Interfaces::Storage, public Interfaces::Lockable {
public:
    // `probeable`: libblkid may read the descriptor itself. Not for optical
    // drives, where it would ask the drive for its disc status.
    BlockStorage(std::shared_ptr<CachedDisk> disk, const Reader &reader, std::shared_ptr<DiskProperties::Device> device,
                 std::shared_ptr<RawSource> source, bool probeable)
        : m_disk(std::move(disk)), m_device(std::move(device)), m_source(std::move(source)), m_reader(reader),
          m_fd(m_device ? m_device->fd : -1), m_blockSize(m_disk->props.blockSize()),
          m_blockCount(m_disk->props.blockCount()), m_probeable(probeable)
    {
        // The partition reader and the probes read a few blocks here and there:
        // read-ahead would multiply what comes from the drive.
        if (m_fd >= 0)
            ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_RANDOM);
    }
    ~BlockStorage() override { unlock(); }

    quint64 blockSize() override { return m_blockSize; }
    quint64 blockCount() override { return m_blockCount; }
    int descriptor() override { return m_probeable ? m_fd : -1; }

    bool read(quint64 first, quint32 count, void *buffer) override
    {
        // The block size is at most 64 KiB and the count within the disk, so
        // neither product below can wrap.
        if (!buffer || first > m_blockCount || count > m_blockCount - first) {
            Error::set(Error::BadArguments);
            return false;
        }
        return m_source->readBytes(m_disk->props, m_fd, first * m_blockSize, static_cast<char *>(buffer),
                                   quint64(count) * m_blockSize);
    }

    // A shared lock: readers do not exclude each other, a partitioning tool
    // holding the device exclusively makes lock() fail.
    bool lock() override
    {
        if (m_fd < 0 || m_reader.flock(m_fd, LOCK_SH | LOCK_NB) == 0) {
            m_locked = m_fd >= 0;
            return true;
        }
        Error::set(Error::AccessDenied);
        return false;
    }
    void unlock() override
    {
        if (m_locked)
            m_reader.flock(m_fd, LOCK_UN);
        m_locked = false;
    }

private:
    std::shared_ptr<CachedDisk> m_disk;
    std::shared_ptr<DiskProperties::Device> m_device;
    std::shared_ptr<RawSource> m_source;
    const Reader &m_reader;
    int m_fd;
    bool m_locked = false;
    quint64 m_blockSize, m_blockCount;
    bool m_probeable;
};

// The hot-plug client of one disk: a change or removal it reports drops the
// disk's cached data, so the next interface reads anew.
class DroppingClient : public DeviceClient {
public:
    DroppingClient(Ref<DeviceClient> inner, std::shared_ptr<Shared> shared, const QString &name)
        : m_inner(std::move(inner)), m_shared(std::move(shared)), m_name(name)
    {
    }
    bool wait(quint32 timeoutMs) override
    {
        const bool pending = m_inner->wait(timeoutMs);
        if (pending && m_inner->eventType() != 0)
            m_shared->drop(m_name);
        return pending;
    }
    void interrupt() override { m_inner->interrupt(); }
    quint32 eventType() override { return m_inner->eventType(); }
    void acknowledge() override { m_inner->acknowledge(); }

private:
    Ref<DeviceClient> m_inner;
    std::shared_ptr<Shared> m_shared;
    QString m_name;
};

class LinuxBackend : public Backend {
public:
    LinuxBackend(const QString &sys, const QString &dev, std::shared_ptr<DeviceIo> io)
        : m_shared(std::make_shared<Shared>(sys, dev, std::move(io)))
    {
    }

    const Reader &reader() const { return m_shared->reader; }

    QString describe() const override { return QStringLiteral("Linux"); }

    bool available() const override { return reader().isDir(QStringLiteral("/block")); }

    QStringList errors() const override
    {
        QStringList errors;
        if (!available())
            errors << QStringLiteral("The drives cannot be listed: %1 cannot be read.")
                          .arg(reader().hostPath(QStringLiteral("/block")));
        errors << m_shared->rawSource()->errors();
        QMutexLocker lock(&m_shared->mutex);
        if (m_shared->noRights && ::geteuid() != 0)
            errors << QStringLiteral(
                "Some drive data needs direct access to the drives, which this user does not have: "
                "S.M.A.R.T. status and attributes, live IDENTIFY data, NVMe identify data, eMMC "
                "EXT_CSD data and the partition table. Everything sysfs shows is still listed. To see "
                "the rest, choose \"Full drive access\" in the window (or start \"Drive Scope with full drive "
                "access\" from the menu), or run drivescope-report as root, for example with sudo.");
        else if (m_shared->noRights)
            errors << QStringLiteral(
                "The system refused direct access to some drives even to root (a security policy or a "
                "container). S.M.A.R.T. data, live IDENTIFY data, NVMe identify data, eMMC EXT_CSD data "
                "and the partition table of those drives are not shown; everything sysfs shows is.");
        if (m_shared->standby)
            errors << QStringLiteral("S.M.A.R.T. data of a drive in standby was not read, so as not to wake it.");
        return errors;
    }

    Ref<Node> open(const QString &path) override
    {
        auto node = std::make_shared<LinuxNode>();
        node->m_path = path;
        if (path.startsWith(blockPrefix)) {
            const QString name = path.mid(blockPrefix.size());
            node->disk = describeDisk(reader(), name);
            if (node->disk && !reader().exists(node->disk->sysPath + QStringLiteral("/partition"))) {
                const QString dev = reader().text(QStringLiteral("/block/") + name + QStringLiteral("/dev"));
                node->m_canonical = QStringLiteral("block:") + (dev.isEmpty() ? name : dev);
                return node;
            }
        } else if (path == volumeServerPath) {
            // Linux has no volume server: its control node says it is off.
            node->volumeServer = true;
            node->m_canonical = path;
            return node;
        } else if (path == pciBusPath) {
            if (pciBusExists()) {
                node->bus = true;
                node->m_canonical = path;
                return node;
            }
        } else if (path.startsWith(pciPrefix)) {
            node->pciFolder = findPciFolder(path.mid(pciPrefix.size()));
            if (!node->pciFolder.isEmpty()) {
                node->m_canonical = QStringLiteral("pci:") + path.mid(pciPrefix.size());
                return node;
            }
        }
        Error::set(Error::NotFound);
        return nullptr;
    }

    Ref<Provider> provider(const Ref<Node> &node, int index) override
    {
        auto *n = dynamic_cast<LinuxNode *>(node.get());
        if (!n || index < 0) {
            Error::set(Error::BadArguments);
            return nullptr;
        }
        const bool companion = n->disk && (!n->disk->scsiDevice.isEmpty() || !n->disk->nvmeController.isEmpty());
        if (index == 0 || (index == 1 && companion))
            return std::make_shared<LinuxProvider>(node, index);
        Error::set(Error::NotFound);
        return nullptr;
    }

    Ref<Interfaces::Generic> generic(const Ref<Provider> &provider) override
    {
        auto *n = provider ? dynamic_cast<LinuxNode *>(provider->node().get()) : nullptr;
        if (!n) {
            Error::set(Error::BadArguments);
            return nullptr;
        }
        if (n->disk)
            return std::make_shared<DriveGeneric>(m_shared, *n->disk, provider->index(), *this, n->canonicalName());
        if (!n->pciFolder.isEmpty())
            return std::make_shared<TableGeneric>(pciNodeProperties(reader(), n->pciFolder));
        if (n->volumeServer) {
            PropertyTable status;
            status.setText(QStringLiteral("STATUS"), QStringLiteral("OFF"));
            return std::make_shared<TableGeneric>(status);
        }
        return std::make_shared<TableGeneric>(PropertyTable());
    }

    Ref<Interfaces::Storage> storage(const Ref<Provider> &provider) override { return openBlock(provider); }
    Ref<Interfaces::Lockable> lockable(const Ref<Provider> &provider) override { return openBlock(provider); }

    Ref<DeviceClient> deviceClient(const QString &path) override
    {
        if (!path.startsWith(blockPrefix) || !describeDisk(reader(), path.mid(blockPrefix.size()))) {
            Error::set(Error::NotFound);
            return nullptr;
        }
        const Ref<DeviceClient> client = createHotplugClient(path.mid(blockPrefix.size()));
        if (!client)
            return nullptr;
        return std::make_shared<DroppingClient>(client, m_shared, path.mid(blockPrefix.size()));
    }

    QList<DriveEntry> drives() override
    {
        QList<DriveEntry> list;
        for (const QString &name : listDisks(reader())) {
            const auto disk = describeDisk(reader(), name);
            if (!disk)
                continue;
            DiskProperties props(reader(), *disk);
            const QString label = props.node(false).value(QStringLiteral("NAME")).value(0).text;
            list.append({blockPrefix + name, label.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(label, name), 2});
        }
        return list;
    }

    QString drivePath(const QString &name) override
    {
        if (name.startsWith(blockPrefix))
            return Backend::drivePath(name);
        // A device node or a link to one names the disk by its DEVNAME.
        const QString devName = name.startsWith(QLatin1String("/dev/")) ? reader().deviceName(name) : QString();
        if (name.startsWith(QLatin1String("/dev/")) && devName.isEmpty())
            return QString();
        for (const QString &disk : listDisks(reader())) {
            const auto described = describeDisk(reader(), disk);
            if (described && (devName.isEmpty() ? disk == name : described->devName == devName))
                return blockPrefix + disk;
        }
        return QString();
    }

    QString kernelName(const QString &path) const override
    {
        return path.startsWith(blockPrefix) ? path.mid(blockPrefix.size()) : QString();
    }

    QString hardwareName(IdBus bus, quint16 vendor, int product) const override
    {
        return hardwareDatabaseName(bus == IdBus::Pci ? HardwareBus::Pci : HardwareBus::Usb, vendor, product);
    }

    Ref<DeviceClient> driveListClient() override { return createHotplugClient(QString()); }

    QList<CompanionNode> companionNodes(const QString &text) override
    {
        QString sysPath;
        if (text.startsWith(QLatin1String("/sys/")))
            sysPath = text.mid(4);
        else if (text.startsWith(blockPrefix)) {
            if (const auto disk = describeDisk(reader(), text.mid(blockPrefix.size())))
                sysPath = disk->sysPath;
        }
        const QString folder = pciFunctionOf(sysPath);
        if (folder.isEmpty() || !reader().isDir(folder))
            return {};
        const auto address = Registers::parsePciAddress(folder.section(QLatin1Char('/'), -1));
        if (!address)
            return {};
        return {{pciPrefix + Registers::pciAddressText(*address), 2}};
    }

    bool pciBusExists() override { return reader().isDir(QStringLiteral("/bus/pci")); }
    bool hosted() override { return false; }
    QString bootParameter() override { return reader().procText(QStringLiteral("/cmdline")); }
    void refresh(const QString &path) override
    {
        if (path.startsWith(blockPrefix))
            m_shared->drop(path.mid(blockPrefix.size()));
    }

    bool fullAccessOffered() const override
    {
        if (::geteuid() == 0)
            return false;
        const std::shared_ptr<RawSource> source = m_shared->rawSource();
        return source->local() || !source->errors().isEmpty();
    }

    void requestFullAccess(std::function<void(bool granted)> done) override
    {
        const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
        const QString helper = helperProgram();
        if (pkexec.isEmpty() || helper.isEmpty()) {
            SysLog::write(channel, LogLevel::Failure,
                          pkexec.isEmpty() ? QStringLiteral("Full drive access needs pkexec, which is not installed.")
                                           : QStringLiteral("Full drive access: drivescope-helper is not installed."));
            if (done)
                done(false);
            return;
        }
        // What was read while the prompt was open is read again afterwards.
        const std::shared_ptr<Shared> shared = m_shared;
        std::shared_ptr<RawSource> source = startHelper({pkexec, helper}, [shared, done](bool granted) {
            {
                QMutexLocker lock(&shared->mutex);
                shared->disks.clear();
            }
            if (done)
                done(granted);
        });
        QMutexLocker lock(&m_shared->mutex);
        m_shared->source = std::move(source);
        // Every disk is read anew, through the helper.
        m_shared->disks.clear();
        m_shared->noRights = false;
    }

private:
    // The helper installed with this program: libexec beside bin, or the
    // build tree's helper folder beside app/. DRIVESCOPE_HELPER names another.
    static QString helperProgram()
    {
        const QString named = qEnvironmentVariable("DRIVESCOPE_HELPER");
        if (!named.isEmpty())
            return QFileInfo(named).isExecutable() ? QFileInfo(named).absoluteFilePath() : QString();
        const QString folder =
            QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
        for (const char *relative : {"/../libexec/drivescope/drivescope-helper", "/../helper/drivescope-helper"}) {
            const QFileInfo candidate(folder + QLatin1String(relative));
            if (candidate.isExecutable())
                return candidate.canonicalFilePath();
        }
        return QString();
    }

    QString findPciFolder(const QString &addressText)
    {
        const auto address = Registers::parsePciAddress(addressText);
        if (!address || Registers::pciAddressText(*address) != addressText)
            return QString();
        const QString viaBus = reader().resolve(QStringLiteral("/bus/pci/devices/") + addressText);
        if (!viaBus.isEmpty())
            return viaBus;
        // Dumps without /bus: the function is an ancestor of some disk.
        for (const QString &name : reader().entries(QStringLiteral("/block"))) {
            for (QString p = reader().resolve(QStringLiteral("/block/") + name); !p.isEmpty();
                 p = p.left(qMax(0, int(p.lastIndexOf(QLatin1Char('/')))))) {
                const auto a = Registers::parsePciAddress(p.section(QLatin1Char('/'), -1));
                if (a && Registers::pciAddressText(*a) == addressText)
                    return p;
            }
        }
        return QString();
    }

    Ref<BlockStorage> openBlock(const Ref<Provider> &provider)
    {
        auto *n = provider ? dynamic_cast<LinuxNode *>(provider->node().get()) : nullptr;
        if (!n || !n->disk || provider->index() != 0) {
            Error::set(Error::Unsupported);
            return nullptr;
        }
        const std::shared_ptr<CachedDisk> disk = m_shared->disk(*n->disk);
        const std::shared_ptr<RawSource> source = m_shared->rawSource();
        // Through the helper this process opens nothing itself.
        if (!source->local())
            return std::make_shared<BlockStorage>(disk, reader(), nullptr, source, false);
        QMutexLocker lock(&disk->mutex);
        const std::shared_ptr<DiskProperties::Device> device = disk->props.device();
        const int fd = device->fd, error = device->error;
        const bool denied = error == EPERM || error == EACCES;
        if (fd < 0 && !denied) {
            Error::set(Error::OpenFailed);
            return nullptr;
        }
        if (denied) {
            QMutexLocker sharedLock(&m_shared->mutex);
            m_shared->noRights = true;
        }
        return std::make_shared<BlockStorage>(disk, reader(), device, source, n->disk->scsiType != 5);
    }

    std::shared_ptr<Shared> m_shared;
};

} // namespace

std::unique_ptr<Backend> createBackend(const QString &sysRoot, const QString &devRoot, std::shared_ptr<DeviceIo> io)
{
    return std::make_unique<LinuxBackend>(sysRoot, devRoot, std::move(io));
}

std::unique_ptr<Backend> createBackend()
{
    return createBackend(QString(), QString());
}

} // namespace Services::Nodes::Linux
