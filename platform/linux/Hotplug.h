// Device clients over a libudev monitor: one watches a disk (and its
// partitions), one watches the drive list. The "udev" source is used when
// udevd runs (/run/udev/control exists), the kernel's own uevents otherwise.
// An eventfd in the same poll set lets interrupt() wake a blocked wait().
#pragma once
#include <QString>

#include "platform/Nodes.h"

namespace Services::Nodes::Linux {

// Watches the disk `diskName` (kernel name) or, with an empty name, every
// whole disk. Null when no monitor can be set up.
Ref<DeviceClient> createHotplugClient(const QString &diskName);

// The event type a uevent means for a watcher: 1 added, 2 removed, 3 changed,
// 0 not of interest. `devpath` is the uevent's DEVPATH, `devtype` "disk" or
// "partition". An empty `diskName` watches the drive list.
quint32 hotplugEventType(const QString &diskName, const QString &action, const QString &devpath,
                         const QString &devtype);

} // namespace Services::Nodes::Linux
