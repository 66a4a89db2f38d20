#include "platform/linux/Hotplug.h"

#include "platform/Error.h"
#include "platform/Log.h"

#include <QFileInfo>
#include <QMutex>

#include <cerrno>
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Services::Nodes::Linux {

namespace {
const int channel = SysLogFilter::reg("Linux");

class HotplugClient : public DeviceClient {
public:
    explicit HotplugClient(const QString &diskName) : m_disk(diskName) {}

    ~HotplugClient() override
    {
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        if (m_udev)
            udev_unref(m_udev);
        if (m_wake >= 0)
            ::close(m_wake);
    }

    bool start()
    {
        m_udev = udev_new();
        if (!m_udev)
            return false;
        const char *source = QFileInfo::exists(QStringLiteral("/run/udev/control")) ? "udev" : "kernel";
        m_monitor = udev_monitor_new_from_netlink(m_udev, source);
        if (!m_monitor)
            return false;
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "block", nullptr);
        udev_monitor_set_receive_buffer_size(m_monitor, 4 * 1024 * 1024);
        if (udev_monitor_enable_receiving(m_monitor) < 0)
            return false;
        m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        return m_wake >= 0;
    }

    bool wait(quint32 timeoutMs) override
    {
        if (m_pending.loadAcquire())
            return true;
        const qint64 deadline = timeoutMs == 0xFFFFFFFF ? -1 : now() + timeoutMs;
        for (;;) {
            int timeout = -1;
            if (deadline >= 0)
                timeout = int(qMax<qint64>(0, deadline - now()));
            pollfd fds[2] = {{udev_monitor_get_fd(m_monitor), POLLIN, 0}, {m_wake, POLLIN, 0}};
            const int ready = ::poll(fds, 2, timeout);
            if (ready < 0 && errno != EINTR)
                return false;
            if (fds[1].revents & POLLIN) {
                quint64 count;
                [[maybe_unused]] ssize_t ignored = ::read(m_wake, &count, sizeof count);
                m_pending.storeRelease(1);
                return true;
            }
            if (fds[0].revents & POLLIN)
                drain();
            if (m_event.loadAcquire()) {
                m_pending.storeRelease(1);
                return true;
            }
            if (ready == 0 || (deadline >= 0 && now() >= deadline))
                return false;
        }
    }

    void interrupt() override
    {
        const quint64 one = 1;
        [[maybe_unused]] ssize_t ignored = ::write(m_wake, &one, sizeof one);
    }

    quint32 eventType() override { return quint32(m_event.loadAcquire()); }

    void acknowledge() override
    {
        m_event.storeRelease(0);
        m_pending.storeRelease(0);
    }

private:
    static qint64 now()
    {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }

    void drain()
    {
        while (udev_device *device = udev_monitor_receive_device(m_monitor)) {
            const QString action = QString::fromUtf8(udev_device_get_action(device));
            const QString devpath = QString::fromUtf8(udev_device_get_devpath(device));
            const QString devtype = QString::fromUtf8(udev_device_get_devtype(device));
            udev_device_unref(device);
            const quint32 type = hotplugEventType(m_disk, action, devpath, devtype);
            // A removal outweighs a change that arrived with it.
            if (type && quint32(m_event.loadAcquire()) != 2)
                m_event.storeRelease(int(type));
            if (type)
                SysLog::write(channel, LogLevel::Routine, QStringLiteral("Block event %1 %2").arg(action, devpath));
        }
    }

    QString m_disk;
    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    int m_wake = -1;
    QAtomicInt m_event = 0;
    QAtomicInt m_pending = 0;
};

} // namespace

quint32 hotplugEventType(const QString &diskName, const QString &action, const QString &devpath, const QString &devtype)
{
    const QStringList parts = devpath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return 0;
    const bool partition = devtype == QLatin1String("partition");
    const quint32 type = action == QLatin1String("add")      ? 1
                         : action == QLatin1String("remove") ? 2
                         : action == QLatin1String("change") ? 3
                                                             : 0;
    if (!type)
        return 0;
    if (diskName.isEmpty()) {
        // The list changes when whole disks come, go, or get a medium/backing file.
        return partition ? 0 : 3;
    }
    if (!partition)
        return parts.last() == diskName ? type : 0;
    // A partition's devpath ends in ".../<disk>/<partition>".
    if (parts.size() >= 2 && parts[parts.size() - 2] == diskName)
        return 3;
    return 0;
}

Ref<DeviceClient> createHotplugClient(const QString &diskName)
{
    auto client = std::make_shared<HotplugClient>(diskName);
    if (!client->start()) {
        SysLog::write(channel, LogLevel::Failure, QStringLiteral("Cannot watch block devices: no uevent monitor"));
        Error::set(Error::Unsupported);
        return nullptr;
    }
    return client;
}

} // namespace Services::Nodes::Linux
