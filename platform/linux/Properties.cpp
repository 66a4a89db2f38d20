#include "platform/linux/Properties.h"

#include "platform/Log.h"
#include "platform/linux/Commands.h"
#include "platform/linux/Registers.h"
#include "platform/linux/Transport.h"

#include <QRegularExpression>

#include <cerrno>
#include <unistd.h>

namespace Services::Nodes::Linux {

namespace {
const int channel = SysLogFilter::reg("Linux");

constexpr quint64 maxBlockSize = 64 * 1024;

const char *const rawOnlyNames[] = {
    "ATA_SMART_STATUS",    "ATA_POWER_MODE", "NVM_VER",         "NVM_NAMESPACE_COUNT", "NVM_NCAP",
    "PART_TABLE_TYPE",     "DISK_SIGNATURE", "MMC_DEVICE_TYPE", "MMC_PARTITIONING_EN", "MMC_ENH_ATTRIBUTE_EN",
    "MMC_EXT_ATTRIBUTE_EN"};

} // namespace

// ---- PropertyTable -------------------------------------------------------------------

void PropertyTable::set(const QString &name, const PropertyValue &value)
{
    for (auto &entry : m_entries) {
        if (entry.first == name) {
            entry.second = value;
            return;
        }
    }
    m_entries.append({name, value});
}

void PropertyTable::setText(const QString &name, const QString &text)
{
    if (!text.isEmpty())
        set(name, {Variant::ofText(text, name)});
}

void PropertyTable::setInt(const QString &name, quint64 value)
{
    set(name, {Variant::ofInt(value, name)});
}

void PropertyTable::remove(const QString &name)
{
    m_entries.removeIf([&](const auto &entry) { return entry.first == name; });
}

bool PropertyTable::contains(const QString &name) const
{
    for (const auto &entry : m_entries) {
        if (entry.first == name)
            return true;
    }
    return false;
}

PropertyValue PropertyTable::value(const QString &name) const
{
    for (const auto &entry : m_entries) {
        if (entry.first == name)
            return entry.second;
    }
    return {};
}

QString PropertyTable::name(int index) const
{
    return index >= 0 && index < m_entries.size() ? m_entries[index].first : QString();
}

bool DiskProperties::identityNeedsRaw(const QString &name) const
{
    // Without libata's cached IDENTIFY the sysfs name is the INQUIRY product
    // text; without VPD page 80h there is no serial: the raw commands tell.
    if (name == QLatin1String("VPD_SERIAL"))
        return m_disk.kind != DiskKind::Usb && !m_disk.scsiDevice.isEmpty() && !m_companion.contains(name);
    if (name != QLatin1String("NAME") && name != QLatin1String("SERIAL") && name != QLatin1String("FIRMWARE"))
        return false;
    if (m_disk.kind == DiskKind::Ata)
        return m_identify.size() != 512;
    if (m_disk.kind == DiskKind::Scsi || m_disk.kind == DiskKind::Sas)
        return name == QLatin1String("SERIAL") && !m_node.contains(name);
    return false;
}

// ---- sysfs ------------------------------------------------------------------------------

DiskProperties::DiskProperties(const Reader &reader, const Disk &disk) : m_reader(reader), m_disk(disk)
{
    readCommon();
    readPci();
    switch (disk.kind) {
    case DiskKind::Ata:
        readScsi();
        readAta();
        break;
    case DiskKind::Scsi:
    case DiskKind::Sas:
        readScsi();
        break;
    case DiskKind::Usb:
        readScsi();
        readUsb();
        break;
    case DiskKind::Nvme:
        readNvme();
        break;
    case DiskKind::Mmc:
        readMmc();
        break;
    default:
        break;
    }
}

QString DiskProperties::sys(const QString &folder, const char *file) const
{
    if (folder.isEmpty())
        return QString();
    return m_reader.text(folder + QLatin1Char('/') + QLatin1String(file));
}

bool DiskProperties::rawOnly(const QString &name)
{
    for (const char *raw : rawOnlyNames) {
        if (name == QLatin1String(raw))
            return true;
    }
    return false;
}

void DiskProperties::readCommon()
{
    const QString base = m_disk.sysPath;
    // A power of two from 512 bytes to 64 KiB, as the partition reader takes it.
    m_blockSize = m_reader.number(base + QStringLiteral("/queue/logical_block_size")).value_or(512);
    if (m_blockSize < 512 || m_blockSize > maxBlockSize || (m_blockSize & (m_blockSize - 1)))
        m_blockSize = 512;
    // `size` is always in 512-byte units; dividing first cannot wrap.
    m_blockCount = m_reader.number(base + QStringLiteral("/size")).value_or(0) / (m_blockSize / 512);

    m_node.setText(QStringLiteral("TYPE"), diskType(m_reader, m_disk));
    m_node.setText(QStringLiteral("REMOVABLE"),
                   sys(base, "removable") == QLatin1String("1") ? QStringLiteral("YES") : QStringLiteral("NO"));
    m_node.setText(QStringLiteral("DEVICE_NODE"),
                   QStringLiteral("/sys") + (m_disk.device.isEmpty() ? base : m_disk.device));
    switch (m_disk.kind) {
    case DiskKind::Virtio:
        m_node.setText(QStringLiteral("NAME"), QStringLiteral("Virtio Block Device"));
        m_node.setText(QStringLiteral("SERIAL"), sys(base, "serial"));
        break;
    case DiskKind::Loop:
        m_node.setText(QStringLiteral("NAME"), sys(base, "loop/backing_file"));
        break;
    case DiskKind::Md: {
        const QString level = sys(base, "md/level");
        m_node.setText(QStringLiteral("NAME"), level.isEmpty() ? QStringLiteral("Software RAID")
                                                               : QStringLiteral("Software RAID (%1)").arg(level));
        m_node.setText(QStringLiteral("SERIAL"), sys(base, "md/uuid"));
        break;
    }
    default:
        break;
    }
}

void DiskProperties::readPci()
{
    const QString f = m_disk.pciFunction;
    if (f.isEmpty())
        return;
    const auto address = Registers::parsePciAddress(f.mid(f.lastIndexOf(QLatin1Char('/')) + 1));
    if (address)
        m_node.setText(QStringLiteral("PCI_ADR"), Registers::pciAddressText(*address));
    const std::pair<const char *, const char *> ids[] = {{"PCI_CLASS", "class"},
                                                         {"PCI_VENDOR", "vendor"},
                                                         {"PCI_DEVICE", "device"},
                                                         {"PCI_SUBVENDOR", "subsystem_vendor"},
                                                         {"PCI_SUBDEVICE", "subsystem_device"}};
    for (const auto &[name, file] : ids) {
        if (const auto value = m_reader.number(f + QLatin1Char('/') + QLatin1String(file)))
            m_node.setInt(QLatin1String(name), *value);
    }
}

void DiskProperties::setIdentify(const QByteArray &identify)
{
    m_identify = identify;
    m_sets.set(QStringLiteral("ATA_IDENTIFY"), {Variant::ofBuffer(identify, QStringLiteral("ATA_IDENTIFY"))});
    const QString model = Commands::ataString(identify, 27, 46);
    const QString serial = Commands::ataString(identify, 10, 19);
    if (m_disk.kind == DiskKind::Ata) {
        m_node.setText(QStringLiteral("NAME"), model);
        m_node.setText(QStringLiteral("SERIAL"), serial);
        m_node.setText(QStringLiteral("FIRMWARE"), Commands::ataString(identify, 23, 26));
    } else {
        // Behind a bridge the drive's own serial and firmware join the
        // bridge's, which keep their place and names.
        const std::pair<QString, QString> joined[] = {
            {QStringLiteral("SERIAL"), serial}, {QStringLiteral("FIRMWARE"), Commands::ataString(identify, 23, 26)}};
        for (const auto &[property, text] : joined) {
            if (text.isEmpty())
                continue;
            PropertyValue value = m_node.value(property);
            value.append(Variant::ofText(text, QStringLiteral("ATA_") + property));
            m_node.set(property, value);
        }
    }
    if (Commands::identifySmartSupported(identify)) {
        m_node.set(
            QStringLiteral("ATA_SMART_ENABLED"),
            {Variant::ofInt(Commands::identifySmartEnabled(identify) ? 1 : 0, QStringLiteral("ATA_SMART_ENABLED"))});
    }
}

void DiskProperties::readAta()
{
    const QByteArray identify = Commands::identifyFromText(sys(m_disk.ataDevice, "id"));
    const QByteArray fromVpd = Commands::identifyFromVpd89(m_reader.bytes(m_disk.scsiDevice + "/vpd_pg89"));
    if (identify.size() == 512)
        setIdentify(identify);
    else if (fromVpd.size() == 512)
        setIdentify(fromVpd);
    const QString speed = sys(m_disk.ataLink, "sata_spd");
    if (!speed.isEmpty() && !speed.startsWith(QLatin1Char('<')))
        m_node.setText(QStringLiteral("CONNECTION"), QStringLiteral("SATA ") + speed);
}

void DiskProperties::readScsi()
{
    const QString dev = m_disk.scsiDevice;
    if (dev.isEmpty())
        return;
    m_hasCompanion = true;
    m_node.setInt(QStringLiteral("NODE_SET_SCSI"), 1);
    const QString vendor = sys(dev, "vendor"), model = sys(dev, "model"), revision = sys(dev, "rev");
    const QString serial = Commands::vpdSerial(m_reader.bytes(dev + QStringLiteral("/vpd_pg80")));
    m_companion.setText(QStringLiteral("SCSI_MODEL"), model);
    m_companion.setText(QStringLiteral("SCSI_VENDOR"), vendor);
    m_companion.setText(QStringLiteral("VPD_SERIAL"), serial);
    m_companion.setText(QStringLiteral("SCSI_REVISION"), revision);
    if (m_disk.kind != DiskKind::Usb) {
        const bool ataVendor = vendor == QLatin1String("ATA");
        m_node.setText(QStringLiteral("NAME"), ataVendor || vendor.isEmpty() ? model : vendor + ' ' + model);
        m_node.setText(QStringLiteral("SERIAL"), serial);
        m_node.setText(QStringLiteral("FIRMWARE"), revision);
    }
    const QByteArray inquiry = m_reader.bytes(dev + QStringLiteral("/inquiry"), 256);
    if (!inquiry.isEmpty())
        m_sets.set(QStringLiteral("GET_SCSI_INQUIRY"),
                   {Variant::ofBuffer(inquiry, QStringLiteral("GET_SCSI_INQUIRY"))});
    // Pages in the order page 0 lists them, then any other cached page.
    QList<int> order;
    for (quint8 page : Commands::vpdSupportedPages(m_reader.bytes(dev + QStringLiteral("/vpd_pg0"))))
        order.append(page);
    static const QRegularExpression vpdFile(QStringLiteral("^vpd_pg([0-9a-f]{1,2})$"));
    for (const QString &entry : m_reader.entries(dev)) {
        const auto m = vpdFile.match(entry);
        const int page = m.hasMatch() ? m.captured(1).toInt(nullptr, 16) : -1;
        if (page >= 0 && !order.contains(page))
            order.append(page);
    }
    PropertyValue pages;
    for (int page : order) {
        const QByteArray data =
            Commands::vpdPage(m_reader.bytes(dev + QStringLiteral("/vpd_pg%1").arg(page, 0, 16)), quint8(page));
        if (!data.isEmpty())
            pages.append(Variant::ofBuffer(data, QStringLiteral("VPD_PAGE_%1").arg(page)));
    }
    if (!pages.isEmpty())
        m_sets.set(QStringLiteral("GET_SCSI_VPDS"), pages);
    if (m_disk.kind == DiskKind::Sas) {
        // The phys of the SAS port the end device hangs off.
        const int at = dev.indexOf(QLatin1String("/end_device-"));
        const QString port = dev.left(at);
        for (const QString &phy : m_reader.entries(port)) {
            const QString rate = sys(port + '/' + phy + QStringLiteral("/sas_phy/") + phy, "negotiated_linkrate");
            if (phy.startsWith(QLatin1String("phy-")) && !rate.isEmpty()) {
                m_node.setText(QStringLiteral("CONNECTION"), QStringLiteral("SAS ") + rate);
                break;
            }
        }
    }
}

void DiskProperties::readUsb()
{
    const QString dev = m_disk.usbDevice;
    const QString vendor = sys(m_disk.scsiDevice, "vendor"), model = sys(m_disk.scsiDevice, "model");
    const QString product = sys(dev, "product");
    m_node.setText(QStringLiteral("NAME"),
                   model.isEmpty() ? product : (vendor.isEmpty() ? model : vendor + ' ' + model));
    const QString serial = sys(dev, "serial");
    if (!serial.isEmpty())
        m_node.set(QStringLiteral("SERIAL"), {Variant::ofText(serial, QStringLiteral("USB_SERIAL"))});
    const Registers::UsbDescriptors d = Registers::parseUsbDescriptors(m_reader.bytes(dev + "/descriptors", 65536));
    const auto vendorId = d.valid ? std::optional<quint64>(d.vendor) : m_reader.number(dev + "/idVendor", 16);
    const auto productId = d.valid ? std::optional<quint64>(d.product) : m_reader.number(dev + "/idProduct", 16);
    const auto bcdDevice = d.valid ? std::optional<quint64>(d.bcdDevice) : m_reader.number(dev + "/bcdDevice", 16);
    if (bcdDevice) {
        const QString firmware =
            QStringLiteral("%1.%2").arg(*bcdDevice >> 8, 0, 16).arg(*bcdDevice & 0xFF, 2, 16, QLatin1Char('0'));
        m_node.set(QStringLiteral("FIRMWARE"), {Variant::ofText(firmware, QStringLiteral("USB_FIRMWARE"))});
    }
    m_node.setText(QStringLiteral("USB_MANUFACTURER"), sys(dev, "manufacturer"));
    if (vendorId)
        m_node.setInt(QStringLiteral("USB_ID_VENDOR"), *vendorId);
    m_node.setText(QStringLiteral("USB_PRODUCT"), product);
    if (productId)
        m_node.setInt(QStringLiteral("USB_ID_PRODUCT"), *productId);
    quint16 bcdUsb = d.bcdUsb;
    if (!d.valid) {
        // `version` is "%2x.%02x" of bcdUSB: " 2.10" is 0x210.
        const QStringList parts = sys(dev, "version").split(QLatin1Char('.'));
        if (parts.size() == 2)
            bcdUsb = quint16(parts[0].toUInt(nullptr, 16) << 8 | parts[1].toUInt(nullptr, 16));
    }
    if (bcdUsb)
        m_node.setInt(QStringLiteral("USB_VERSION"), bcdUsb);
    const auto configurations =
        d.valid ? std::optional<quint64>(d.configurations) : m_reader.number(dev + "/bNumConfigurations");
    if (configurations)
        m_node.setInt(QStringLiteral("USB_CONFIGURATIONS"), *configurations);
    const double speed = sys(dev, "speed").toDouble();
    const int lanes = int(m_reader.number(dev + "/rx_lanes").value_or(1));
    const QString current = Registers::usbSpeedText(speed, lanes);
    m_node.setText(QStringLiteral("USB_CONNECTION"), current);
    m_node.setText(QStringLiteral("CONNECTION"), current);
    const Registers::UsbBos bos = Registers::parseUsbBos(m_reader.bytes(dev + "/bos_descriptors", 65536));
    const quint64 maxSpeed =
        bos.valid && bos.maxSpeedMbit ? bos.maxSpeedMbit : Registers::usbMaxSpeedWithoutBos(bcdUsb);
    m_node.setText(QStringLiteral("USB_CONNECTION_MAX"), Registers::usbSpeedText(double(maxSpeed)));
    m_node.setText(QStringLiteral("USB_BOS_UUID"), bos.containerId);
    if (d.valid) {
        m_node.setText(QStringLiteral("USB_DEV_CSP"),
                       QStringLiteral("%1:%2:%3").arg(d.usbClass).arg(d.subclass).arg(d.protocol));
        PropertyValue settings;
        QList<QPair<int, int>> seen;
        for (const Registers::UsbSetting &s : d.settings) {
            if (seen.contains({s.interface, s.alternate}))
                continue;
            seen.append({s.interface, s.alternate});
            settings.append(Variant::ofText(QStringLiteral("%1:%2:%3").arg(s.usbClass).arg(s.subclass).arg(s.protocol),
                                            QStringLiteral("USB_IFC_CSP_i%1_a%2").arg(s.interface).arg(s.alternate)));
        }
        if (!settings.isEmpty())
            m_node.set(QStringLiteral("USB_IFC_CSP"), settings);
    } else {
        const auto cls = m_reader.number(dev + "/bDeviceClass", 16),
                   sub = m_reader.number(dev + "/bDeviceSubClass", 16),
                   proto = m_reader.number(dev + "/bDeviceProtocol", 16);
        if (cls && sub && proto)
            m_node.setText(QStringLiteral("USB_DEV_CSP"), QStringLiteral("%1:%2:%3").arg(*cls).arg(*sub).arg(*proto));
        // Without `descriptors` only the interface in use is known.
        const QString ifc = m_disk.usbInterface;
        const auto number = m_reader.number(ifc + "/bInterfaceNumber", 16),
                   alternate = m_reader.number(ifc + "/bAlternateSetting"),
                   ifcClass = m_reader.number(ifc + "/bInterfaceClass", 16),
                   ifcSub = m_reader.number(ifc + "/bInterfaceSubClass", 16),
                   ifcProto = m_reader.number(ifc + "/bInterfaceProtocol", 16);
        if (number && alternate && ifcClass && ifcSub && ifcProto)
            m_node.set(QStringLiteral("USB_IFC_CSP"),
                       {Variant::ofText(QStringLiteral("%1:%2:%3").arg(*ifcClass).arg(*ifcSub).arg(*ifcProto),
                                        QStringLiteral("USB_IFC_CSP_i%1_a%2").arg(*number).arg(*alternate))});
    }
}

QString pcieLinkText(const Reader &reader, const QString &folder)
{
    if (folder.isEmpty())
        return QString();
    const QString speed = reader.text(folder + QStringLiteral("/current_link_speed"));
    const QString width = reader.text(folder + QStringLiteral("/current_link_width"));
    if (speed.isEmpty() || speed.startsWith(QLatin1String("Unknown")))
        return QString();
    QString text = speed.contains(QLatin1String("PCIe")) ? speed : speed + QStringLiteral(" PCIe");
    if (!width.isEmpty() && width != QLatin1String("0"))
        text += QStringLiteral(" x") + width;
    return text;
}

void DiskProperties::readNvme()
{
    const QString ctrl = m_disk.nvmeController;
    m_hasCompanion = !ctrl.isEmpty();
    const QString model = sys(ctrl, "model"), serial = sys(ctrl, "serial"), firmware = sys(ctrl, "firmware_rev");
    m_node.setText(QStringLiteral("NAME"), model);
    m_node.setText(QStringLiteral("SERIAL"), serial);
    for (PropertyTable *t : {&m_node, &m_companion}) {
        t->setText(QStringLiteral("MODEL"), model);
        t->setText(QStringLiteral("FIRMWARE"), firmware);
    }
    m_companion.setText(QStringLiteral("SERIAL"), serial);
    const QString transport = sys(ctrl, "transport");
    QString connection =
        transport == QLatin1String("pcie") ? pcieLinkText(m_reader, m_disk.pciFunction) : transport.toUpper();
    if (connection.isEmpty() && transport == QLatin1String("pcie"))
        connection = QStringLiteral("PCIe");
    m_companion.setText(QStringLiteral("CONNECTION"), connection);
    m_node.setText(QStringLiteral("CONNECTION"), connection);

    const QString ns = m_disk.sysPath;
    if (const auto nsid = m_reader.number(ns + QStringLiteral("/nsid")))
        m_node.setInt(QStringLiteral("NVM_NSID"), *nsid);
    m_node.setInt(QStringLiteral("NVM_NSZE"), m_blockCount);
    if (const auto nuse = m_reader.number(ns + QStringLiteral("/nuse")))
        m_node.setInt(QStringLiteral("NVM_NUSE"), *nuse);
    QString nguid = sys(ns, "nguid");
    QString eui = sys(ns, "eui").remove(QLatin1Char(' '));
    const QString wwid = sys(ns, "wwid");
    static const QRegularExpression euiWwid(QStringLiteral("^eui\\.([0-9a-fA-F]{16}|[0-9a-fA-F]{32})$"));
    const auto m = euiWwid.match(wwid);
    if (m.hasMatch() && m.captured(1).size() == 32 && nguid.isEmpty())
        nguid = Commands::nguidText(QByteArray::fromHex(m.captured(1).toLatin1()));
    if (m.hasMatch() && m.captured(1).size() == 16 && eui.isEmpty())
        eui = m.captured(1);
    if (!nguid.isEmpty() && nguid != QLatin1String("00000000-0000-0000-0000-000000000000"))
        m_node.setText(QStringLiteral("NVM_NGUID"), nguid.toLower());
    // Kept as text: an EUI-64 is eight bytes, leading zero bytes included.
    m_node.setText(QStringLiteral("NVM_EUI"), Commands::euiText(QByteArray::fromHex(eui.toLatin1())));
}

void DiskProperties::readMmc()
{
    const QString card = m_disk.mmcCard;
    const QString type = sys(card, "type");
    const bool mmc = type == QLatin1String("MMC");
    m_node.setText(QStringLiteral("NAME"), sys(card, "name"));
    m_node.setText(QStringLiteral("SERIAL"), sys(card, "serial"));
    if (type.startsWith(QLatin1String("SD")))
        m_node.setText(QStringLiteral("CARD_TYPE"), QStringLiteral("SD"));
    else if (mmc)
        m_node.setText(QStringLiteral("CARD_TYPE"), QStringLiteral("MMC"));
    const QByteArray cid = Registers::registerBytes(sys(card, "cid"), 16);
    const QByteArray csd = Registers::registerBytes(sys(card, "csd"), 16);
    const QString prefix = mmc ? QStringLiteral("MMC_") : QStringLiteral("SD_");
    if (!csd.isEmpty()) {
        if (const quint64 khz = Registers::cardTransferKhz(csd, mmc))
            m_node.setInt(prefix + QStringLiteral("NORMAL_SPEED_FREQ"), khz);
    }
    m_node.setText(prefix + QStringLiteral("PRODUCTION_DATE"), sys(card, "date"));
    if (!mmc) {
        if (!csd.isEmpty()) {
            m_node.setInt(QStringLiteral("SECTOR_ACCESS"), Registers::registerBits(csd, 127, 126) >= 1 ? 1 : 0);
            m_node.setText(QStringLiteral("SD_CARD_TYPE"), Registers::sdCardType(csd));
        }
        m_node.setText(QStringLiteral("SD_VERSION"),
                       Registers::sdVersion(Registers::registerBytes(sys(card, "scr"), 8)));
        return;
    }
    // Cards above 2 GB use sector addressing.
    m_node.setInt(QStringLiteral("SECTOR_ACCESS"), m_blockCount > 2ull * 1024 * 1024 * 1024 / m_blockSize ? 1 : 0);
    m_node.setText(QStringLiteral("MMC_CBX"), Registers::mmcCbx(cid));
    m_node.setText(QStringLiteral("MMC_VERSION"), Registers::mmcVersion(csd, parseNumber(sys(card, "rev"))));
    if (!csd.isEmpty())
        m_node.setInt(QStringLiteral("MMC_R2W_FACTOR"), Registers::mmcReadToWriteFactor(csd));
    const QStringList life = sys(card, "life_time").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (life.size() == 2) {
        m_node.setText(QStringLiteral("MMC_DEVICE_LIFE_TIME_EST_TYP_A"),
                       Commands::lifeTimeText(quint8(parseNumber(life[0]).value_or(0))));
        m_node.setText(QStringLiteral("MMC_DEVICE_LIFE_TIME_EST_TYP_B"),
                       Commands::lifeTimeText(quint8(parseNumber(life[1]).value_or(0))));
    }
    if (const auto eol = parseNumber(sys(card, "pre_eol_info")))
        m_node.setText(QStringLiteral("MMC_PRE_EOL_INFO"), Commands::preEolText(quint8(*eol)));
    // General purpose partitions are block devices mmcblkNgp0..3 when configured.
    for (int i = 0; i < 4; ++i) {
        const QString gp = QStringLiteral("/block/%1gp%2/size").arg(m_disk.name).arg(i);
        if (const auto size = m_reader.number(gp); size && *size <= ~quint64(0) / 512)
            m_node.setInt(QStringLiteral("MMC_GPP%1_SIZE").arg(i + 1), *size * 512);
    }
}

PropertyTable pciNodeProperties(const Reader &reader, const QString &folder)
{
    PropertyTable t;
    const auto address = Registers::parsePciAddress(folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1));
    if (address) {
        t.setText(QStringLiteral("PCI_ADR"), Registers::pciAddressText(*address));
        t.set(QStringLiteral("BUS_INFO"), {Variant::ofInt(address->bus, QStringLiteral("BUS")),
                                           Variant::ofInt(address->device, QStringLiteral("DEVICE")),
                                           Variant::ofInt(address->function, QStringLiteral("FUNCTION"))});
        t.setInt(QStringLiteral("BUS_SEGMENT"), address->segment);
    }
    const std::pair<const char *, const char *> ids[] = {{"CLASSCODE", "class"},
                                                         {"VENDOR_ID", "vendor"},
                                                         {"PRODUCT_ID", "device"},
                                                         {"SUBSYS_VENDOR_ID", "subsystem_vendor"},
                                                         {"SUBSYS_PRODUCT_ID", "subsystem_device"},
                                                         {"REVISION", "revision"}};
    for (const auto &[name, file] : ids) {
        if (const auto value = reader.number(folder + QLatin1Char('/') + QLatin1String(file)))
            t.setInt(QLatin1String(name), *value);
    }
    t.setText(QStringLiteral("CONNECTION"), pcieLinkText(reader, folder));
    t.setText(QStringLiteral("DRIVER"), reader.resolve(folder + QStringLiteral("/driver")).section('/', -1));
    return t;
}

// ---- accessors; raw data on demand (RawAccess.cpp) --------------------------------------------

std::shared_ptr<DiskProperties::Device> DiskProperties::device()
{
    std::shared_ptr<Device> d = m_device.lock();
    if (!d) {
        d = std::make_shared<Device>(Device{m_reader});
        d->fd = m_reader.openDevice({m_disk.devName, m_disk.sysPath, true}, &d->error);
        m_device = d;
    }
    return d;
}

PropertyTable &DiskProperties::node(bool withRaw)
{
    if (withRaw)
        readRaw();
    return m_node;
}

PropertyTable &DiskProperties::companion(bool withRaw)
{
    if (withRaw)
        readRaw();
    return m_companion;
}

PropertyTable &DiskProperties::sets(bool withRaw)
{
    if (withRaw)
        readRaw();
    return m_sets;
}

void DiskProperties::note(const QString &line, bool rights)
{
    m_notes.log.append(line);
    if (rights)
        m_notes.noRights = true;
    SysLog::write(channel, rights ? LogLevel::Failure : LogLevel::Routine, line);
}

} // namespace Services::Nodes::Linux
