// Finds the whole disks the drive list shows and, for one disk, the sysfs
// folders its data comes from (SCSI device, ATA device and link, USB device and
// interface, NVMe controller, MMC card, PCI function). Everything is read
// through a Reader; a folder that is not there is simply left empty.
#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/linux/Reader.h"

namespace Services::Nodes::Linux {

enum class DiskKind { Ata, Scsi, Sas, Usb, Nvme, Mmc, Virtio, Loop, Md, Other };

struct Disk {
    QString name;    // kernel name: "sda", "nvme0n1", "mmcblk0"
    QString sysPath; // resolved folder of the disk: "/devices/.../block/sda"
    QString devName; // node below /dev (uevent DEVNAME), usually the name
    DiskKind kind = DiskKind::Other;
    QString device;     // the disk's `device` folder, resolved (may be empty)
    QString scsiDevice; // "H:C:T:L" folder of SCSI disks
    int scsiType = -1;  // SCSI peripheral device type from sysfs; -1 unknown
    QString ataPort;    // ".../ataN"
    QString ataDevice;  // folder holding the cached IDENTIFY `id`
    QString ataLink;    // folder holding `sata_spd`
    QString usbDevice;  // ".../usbB/B-P" (has idVendor)
    QString usbInterface;
    QString nvmeController;
    QString mmcCard;
    QString pciFunction; // ".../SSSS:BB:DD.F", the controller's function
};

// Names of the whole disks to list, in a stable order (sorted by kind of name
// then number: sda before sdb before sdaa, nvme0n1 before nvme0n2).
QStringList listDisks(const Reader &reader);
// Why a disk is left out of the list (null when it is listed).
QString skipReason(const Reader &reader, const QString &name);
// Null when there is no such block device.
std::optional<Disk> describeDisk(const Reader &reader, const QString &name);
// Partition names of a disk ("sda1", ...).
QStringList diskPartitions(const Reader &reader, const Disk &disk);
// The PCI function folder at or above a sysfs path (deepest one); null if none.
QString pciFunctionOf(const QString &sysPath);
// The class the allow-list knows the disk by (its SCSI type as far as known).
Allowlist::DeviceClass deviceClass(const Disk &disk);
// The TYPE text of a disk ("SATA", "USB", "NVMe", ...).
QString diskType(const Reader &reader, const Disk &disk);

} // namespace Services::Nodes::Linux
