#include "platform/linux/Discovery.h"

#include <QCollator>
#include <QRegularExpression>

#include <algorithm>

namespace Services::Nodes::Linux {

namespace {

const QRegularExpression pciName(QStringLiteral("^[0-9a-fA-F]{4,8}:[0-9a-fA-F]{2}:[0-9a-fA-F]{2}\\.[0-7]$"));
const QRegularExpression usbDeviceName(QStringLiteral("^\\d+-[\\d.]+$"));
const QRegularExpression usbInterfaceName(QStringLiteral("^\\d+-[\\d.]+:\\d+\\.\\d+$"));
const QRegularExpression scsiName(QStringLiteral("^(\\d+):(\\d+):(\\d+):(\\d+)$"));
const QRegularExpression ataPortName(QStringLiteral("^ata(\\d+)$"));

QString parentOf(const QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? path.left(slash) : QString();
}

QString lastComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The deepest ancestor (or the path itself) whose last component matches.
QString ancestorMatching(const QString &path, const QRegularExpression &pattern)
{
    for (QString p = path; !p.isEmpty(); p = parentOf(p)) {
        if (pattern.match(lastComponent(p)).hasMatch())
            return p;
    }
    return QString();
}

QString ueventValue(const Reader &reader, const QString &path, const QString &key)
{
    const QStringList lines = reader.text(path + QStringLiteral("/uevent")).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1).trimmed();
    }
    return QString();
}

// The libata device folder of a SCSI device: non-PMP links hold devN.T, port
// multiplier links linkN.C hold devN.C.0.
void findAtaDevice(const Reader &reader, Disk &disk)
{
    const QString port = lastComponent(disk.ataPort).mid(3);
    const QRegularExpressionMatch m = scsiName.match(lastComponent(disk.scsiDevice));
    if (!m.hasMatch())
        return;
    const QString channel = m.captured(2), target = m.captured(3);
    const QString candidates[][2] = {
        {QStringLiteral("link%1").arg(port), QStringLiteral("dev%1.%2").arg(port, target)},
        {QStringLiteral("link%1.%2").arg(port, channel), QStringLiteral("dev%1.%2.0").arg(port, channel)},
    };
    for (const auto &c : candidates) {
        const QString link = disk.ataPort + QLatin1Char('/') + c[0];
        const QString device = link + QLatin1Char('/') + c[1] + QStringLiteral("/ata_device/") + c[1];
        if (reader.exists(device + QStringLiteral("/id"))) {
            disk.ataDevice = device;
            disk.ataLink = link + QStringLiteral("/ata_link/") + c[0];
            return;
        }
        if (reader.isDir(link) && disk.ataLink.isEmpty())
            disk.ataLink = link + QStringLiteral("/ata_link/") + c[0];
    }
}

bool excludedName(const QString &name)
{
    static const QRegularExpression excluded(
        QStringLiteral("^(dm-|zram|ram|nbd|zd|mmcblk\\d+(boot\\d+|rpmb|gp\\d+)$|nvme\\d+c\\d+n)"));
    return excluded.match(name).hasMatch();
}

} // namespace

QString skipReason(const Reader &reader, const QString &name)
{
    const QString base = QStringLiteral("/block/") + name;
    if (!reader.exists(base))
        return QStringLiteral("no such block device");
    if (excludedName(name))
        return QStringLiteral("not a drive");
    if (reader.text(base + QStringLiteral("/hidden")) == QLatin1String("1"))
        return QStringLiteral("hidden path device");
    if (reader.exists(base + QStringLiteral("/partition")))
        return QStringLiteral("partition");
    if (name.startsWith(QLatin1String("loop")) && reader.text(base + QStringLiteral("/loop/backing_file")).isNull())
        return QStringLiteral("loop device without a backing file");
    if (reader.number(base + QStringLiteral("/size")).value_or(0) == 0)
        return QStringLiteral("no medium");
    return QString();
}

QStringList listDisks(const Reader &reader)
{
    QStringList names;
    for (const QString &name : reader.entries(QStringLiteral("/block"))) {
        if (skipReason(reader, name).isNull())
            names.append(name);
    }
    QCollator collator;
    collator.setNumericMode(true);
    // Drives first, then software RAID, then loop devices.
    auto rank = [](const QString &name) {
        return name.startsWith(QLatin1String("loop")) ? 2 : name.startsWith(QLatin1String("md")) ? 1 : 0;
    };
    std::sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
        if (rank(a) != rank(b))
            return rank(a) < rank(b);
        // sda < sdb < sdz < sdaa: shorter names of the same prefix first.
        const bool sdA = a.startsWith(QLatin1String("sd")), sdB = b.startsWith(QLatin1String("sd"));
        if (sdA && sdB && a.size() != b.size())
            return a.size() < b.size();
        return collator.compare(a, b) < 0;
    });
    return names;
}

std::optional<Disk> describeDisk(const Reader &reader, const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return std::nullopt;
    const QString sysPath = reader.resolve(QStringLiteral("/block/") + name);
    if (sysPath.isNull())
        return std::nullopt;
    Disk disk;
    disk.name = name;
    disk.sysPath = sysPath;
    const QString devName = ueventValue(reader, sysPath, QStringLiteral("DEVNAME"));
    disk.devName = devName.isEmpty() || devName.contains(QLatin1String("..")) ? name : devName;
    disk.device = reader.resolve(sysPath + QStringLiteral("/device"));
    disk.pciFunction = pciFunctionOf(sysPath);

    if (sysPath.startsWith(QLatin1String("/devices/virtual/block/"))) {
        disk.kind = name.startsWith(QLatin1String("loop")) ? DiskKind::Loop
                    : name.startsWith(QLatin1String("md")) ? DiskKind::Md
                                                           : DiskKind::Other;
        return disk;
    }
    if (name.startsWith(QLatin1String("nvme"))) {
        disk.kind = DiskKind::Nvme;
        const QString parent = parentOf(sysPath);
        if (lastComponent(parentOf(parent)) == QLatin1String("nvme"))
            disk.nvmeController = parent;
        else if (!disk.device.isEmpty())
            disk.nvmeController = disk.device;
        // A multipath head hangs off the subsystem, which links its controllers.
        if (!disk.nvmeController.isEmpty() && !reader.exists(disk.nvmeController + QStringLiteral("/transport"))) {
            static const QRegularExpression controllerName(QStringLiteral("^nvme\\d+$"));
            for (const QString &entry : reader.entries(disk.nvmeController)) {
                const QString controller = reader.resolve(disk.nvmeController + QLatin1Char('/') + entry);
                if (controllerName.match(entry).hasMatch() && !controller.isEmpty()) {
                    disk.nvmeController = controller;
                    disk.pciFunction = pciFunctionOf(controller);
                    break;
                }
            }
        }
        return disk;
    }
    if (name.startsWith(QLatin1String("mmcblk"))) {
        disk.kind = DiskKind::Mmc;
        disk.mmcCard = disk.device.isEmpty() ? parentOf(parentOf(sysPath)) : disk.device;
        return disk;
    }
    // SCSI disks sit in ".../H:C:T:L/block/sdX".
    const QString scsi = ancestorMatching(parentOf(sysPath), scsiName);
    if (!scsi.isEmpty()) {
        disk.scsiDevice = scsi;
        // The peripheral device type; where sysfs has no `type`, byte 0 of its
        // cached INQUIRY (qualifier 0 only), else the live INQUIRY decides later.
        if (const auto type = reader.number(scsi + QStringLiteral("/type"))) {
            disk.scsiType = int(qMin<quint64>(*type, 0xFF));
        } else {
            const QByteArray inquiry = reader.bytes(scsi + QStringLiteral("/inquiry"), 1);
            if (inquiry.size() == 1 && (quint8(inquiry[0]) >> 5) == 0)
                disk.scsiType = quint8(inquiry[0]) & 0x1F;
        }
        disk.usbInterface = ancestorMatching(scsi, usbInterfaceName);
        disk.ataPort = ancestorMatching(scsi, ataPortName);
        if (!disk.usbInterface.isEmpty()) {
            disk.kind = DiskKind::Usb;
            disk.usbDevice = parentOf(disk.usbInterface);
        } else if (!disk.ataPort.isEmpty()) {
            disk.kind = DiskKind::Ata;
            findAtaDevice(reader, disk);
        } else if (scsi.contains(QLatin1String("/end_device-")) || scsi.contains(QLatin1String("/port-"))) {
            disk.kind = DiskKind::Sas;
        } else {
            disk.kind = DiskKind::Scsi;
        }
        return disk;
    }
    if (sysPath.contains(QRegularExpression(QStringLiteral("/virtio\\d+/"))))
        disk.kind = DiskKind::Virtio;
    return disk;
}

Allowlist::DeviceClass deviceClass(const Disk &disk)
{
    switch (disk.kind) {
    case DiskKind::Ata:
    case DiskKind::Scsi:
    case DiskKind::Sas:
    case DiskKind::Usb:
        return Allowlist::scsiClass(disk.scsiType, disk.kind == DiskKind::Ata);
    case DiskKind::Nvme:
        return Allowlist::DeviceClass::Nvme;
    case DiskKind::Mmc:
        return Allowlist::DeviceClass::Mmc;
    default:
        return Allowlist::DeviceClass::Plain;
    }
}

QStringList diskPartitions(const Reader &reader, const Disk &disk)
{
    QStringList parts;
    for (const QString &entry : reader.entries(disk.sysPath)) {
        if (entry.startsWith(disk.name) && reader.exists(disk.sysPath + QLatin1Char('/') + entry + "/partition"))
            parts.append(entry);
    }
    return parts;
}

QString pciFunctionOf(const QString &sysPath)
{
    return ancestorMatching(sysPath, pciName);
}

QString diskType(const Reader &reader, const Disk &disk)
{
    switch (disk.kind) {
    case DiskKind::Nvme:
        return QStringLiteral("NVMe");
    case DiskKind::Usb:
        return QStringLiteral("USB");
    case DiskKind::Mmc:
        return QStringLiteral("CARD");
    case DiskKind::Sas:
        return QStringLiteral("SAS");
    case DiskKind::Virtio:
        return QStringLiteral("VIRTUAL");
    case DiskKind::Loop:
        return QStringLiteral("VIRTUAL_FILE");
    case DiskKind::Md:
        return QStringLiteral("RAID");
    case DiskKind::Ata: {
        if (reader.number(disk.scsiDevice + QStringLiteral("/type")).value_or(0) == 5)
            return QStringLiteral("OPTICAL");
        // The controller's class splits AHCI/SATA, IDE and RAID.
        const quint64 cls = reader.number(disk.pciFunction + QStringLiteral("/class")).value_or(0);
        switch (cls >> 8) {
        case 0x0101:
            return QStringLiteral("IDE");
        case 0x0104:
            return QStringLiteral("RAID");
        case 0x0106:
            return QStringLiteral("SATA");
        default:
            // Without the controller's class: a SATA link speed says SATA.
            return reader.exists(disk.ataLink + QStringLiteral("/sata_spd")) || cls == 0 ? QStringLiteral("SATA")
                                                                                         : QStringLiteral("ATA");
        }
    }
    case DiskKind::Scsi: {
        if (reader.number(disk.scsiDevice + QStringLiteral("/type")).value_or(0) == 5)
            return QStringLiteral("OPTICAL");
        const quint64 cls = reader.number(disk.pciFunction + QStringLiteral("/class")).value_or(0);
        if ((cls >> 8) == 0x0107)
            return QStringLiteral("SAS");
        if (disk.scsiDevice.contains(QLatin1String("/rport-")))
            return QStringLiteral("FC");
        if (disk.scsiDevice.contains(QRegularExpression(QStringLiteral("/session\\d+/"))))
            return QStringLiteral("ISCSI");
        if (disk.scsiDevice.contains(QRegularExpression(QStringLiteral("/virtio\\d+/"))))
            return QStringLiteral("VIRTUAL");
        return QStringLiteral("SCSI");
    }
    case DiskKind::Other:
        break;
    }
    return QStringLiteral("UNKNOWN");
}

} // namespace Services::Nodes::Linux
