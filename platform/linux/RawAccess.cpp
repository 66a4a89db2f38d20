// The raw half of DiskProperties: read-only commands sent once per disk and
// refresh (the backend shares one DiskProperties between the interfaces), on
// first demand, and only where sysfs had no answer.
#include "platform/linux/Commands.h"
#include "platform/linux/Properties.h"
#include "platform/linux/Registers.h"
#include "platform/linux/Transport.h"

#include <unistd.h>

namespace Services::Nodes::Linux {

namespace {
bool isAtaCapable(DiskKind kind)
{
    return kind == DiskKind::Ata || kind == DiskKind::Usb || kind == DiskKind::Sas || kind == DiskKind::Scsi;
}
// A device lists any number of VPD pages; those past the cap are not asked.
constexpr int maxVpdPages = 16;
} // namespace

bool DiskProperties::rawAddsSets() const
{
    return isAtaCapable(m_disk.kind) || !m_disk.scsiDevice.isEmpty();
}

void DiskProperties::readRaw()
{
    if (m_rawDone)
        return;
    m_rawDone = true;
    if (m_source)
        m_source->readRaw(*this);
    else
        readRawHere();
}

void DiskProperties::adopt(DiskTables tables)
{
    m_node = std::move(tables.node);
    m_companion = std::move(tables.companion);
    m_sets = std::move(tables.sets);
    m_notes = std::move(tables.notes);
}

void DiskProperties::readRawHere()
{
    const std::shared_ptr<Device> handle = this->device();
    RawDevice device(m_reader, handle->fd, handle->error, m_disk.devName, deviceClass(m_disk));
    if (!device.isOpen()) {
        const bool rights = device.openFailure() == Failure::NoRights;
        note(QStringLiteral("No raw data for %1: %2").arg(m_disk.name, device.failureText()), rights);
        return;
    }
    // The partition table signature from the first two blocks.
    const qint64 blocks = qint64(qMin<quint64>(m_blockSize, 4096)) * 2;
    QByteArray head = headBlocks ? headBlocks(blocks) : QByteArray();
    if (head.size() != blocks) {
        head = QByteArray(blocks, '\0');
        if (m_reader.pread(device.fd(), head.data(), size_t(head.size()), 0) != head.size())
            head.clear();
    }
    if (head.size() == blocks && m_blockCount >= 2) {
        const Registers::PartitionTable table =
            Registers::detectPartitionTable(head.left(blocks / 2), head.mid(blocks / 2));
        m_node.setText(QStringLiteral("PART_TABLE_TYPE"), table.type);
        m_node.setText(QStringLiteral("DISK_SIGNATURE"), table.signature);
    }
    // Without a type in sysfs the live INQUIRY names it before any ATA command.
    if (!m_disk.scsiDevice.isEmpty() && m_disk.scsiType < 0) {
        const QByteArray inquiry = device.inquiry(false, 0, 96);
        const Commands::Inquiry parsed = Commands::parseInquiry(inquiry);
        if (parsed.valid && (quint8(inquiry[0]) >> 5) == 0) {
            m_disk.scsiType = quint8(inquiry[0]) & 0x1F;
            device.setDeviceClass(deviceClass(m_disk));
        }
        if (parsed.valid && !m_sets.contains(QStringLiteral("GET_SCSI_INQUIRY")))
            m_sets.set(QStringLiteral("GET_SCSI_INQUIRY"),
                       {Variant::ofBuffer(inquiry, QStringLiteral("GET_SCSI_INQUIRY"))});
    }
    if (isAtaCapable(m_disk.kind) && Allowlist::allows(device.deviceClass(), Allowlist::Channel::Ata, 0xE5))
        rawAta(device);
    if (!m_disk.scsiDevice.isEmpty())
        rawScsi(device);
    if (m_disk.kind == DiskKind::Nvme)
        rawNvme(device);
    if (m_disk.kind == DiskKind::Mmc && m_node.value(QStringLiteral("CARD_TYPE")).value(0).text == QLatin1String("MMC"))
        rawMmc(device);
}

void DiskProperties::rawAta(RawDevice &device)
{
    using Commands::AtaCommand;
    // An optical drive by its SCSI peripheral type, whatever bus it hangs off.
    const bool optical = m_disk.scsiType == 5;
    const bool libata = m_disk.kind == DiskKind::Ata;
    // Only libata turns ATA PASS-THROUGH into ATA commands for an ATAPI
    // device; anywhere else both opcodes reach the drive as MMC commands.
    if (optical && !libata)
        return;
    // Ask first whether the disk sleeps: IDENTIFY and S.M.A.R.T. could wake it.
    Commands::Sense sense;
    const QByteArray power = device.ata(AtaCommand::CheckPowerMode, &sense);
    // ATAPI devices may refuse CHECK POWER MODE: their power state is then
    // unknown, and IDENTIFY PACKET DEVICE still says what they are.
    const bool atapiRefused = power.isNull() && libata && optical && device.failure() == Failure::DeviceError;
    if (power.isNull() && !atapiRefused) {
        const bool rights = device.failure() == Failure::NoRights;
        if (libata || rights)
            note(QStringLiteral("No ATA data from %1 (CHECK POWER MODE: %2)").arg(m_disk.name, device.failureText()),
                 rights);
        return; // a SCSI device that does not pass ATA commands through
    }
    const Commands::PowerMode mode = atapiRefused ? Commands::PowerMode::Unknown : Commands::powerMode(sense);
    m_node.setText(QStringLiteral("ATA_POWER_MODE"), Commands::powerModeText(mode));
    if (mode == Commands::PowerMode::Standby) {
        m_notes.standby = true;
        note(QStringLiteral("S.M.A.R.T. not read from %1: the drive is in standby").arg(m_disk.name), false);
        return;
    }
    if (m_identify.size() != 512) {
        const QByteArray identify = device.ata(optical ? AtaCommand::IdentifyPacket : AtaCommand::Identify, nullptr);
        if (identify.size() == 512)
            setIdentify(identify);
        else
            note(QStringLiteral("IDENTIFY of %1 failed: %2").arg(m_disk.name, device.failureText()),
                 device.failure() == Failure::NoRights);
    }
    if (!Commands::identifySmartSupported(m_identify))
        return;
    m_sets.set(QStringLiteral("ATA_SMART_ATTRIBUTES"), {});
    if (!Commands::identifySmartEnabled(m_identify))
        return;
    if (!device.ata(AtaCommand::SmartReturnStatus, &sense).isNull()) {
        if (const auto status = Commands::smartStatus(sense))
            m_node.set(QStringLiteral("ATA_SMART_STATUS"),
                       {Variant::ofInt(quint64(*status), QStringLiteral("ATA_SMART_STATUS"))});
    } else {
        note(QStringLiteral("SMART RETURN STATUS of %1 failed: %2").arg(m_disk.name, device.failureText()),
             device.failure() == Failure::NoRights);
    }
    const QByteArray data = device.ata(AtaCommand::SmartReadData, nullptr);
    if (data.size() != 512) {
        note(QStringLiteral("SMART READ DATA of %1 failed: %2").arg(m_disk.name, device.failureText()),
             device.failure() == Failure::NoRights);
        return;
    }
    const QByteArray thresholds = device.ata(AtaCommand::SmartReadThresholds, nullptr);
    m_sets.set(
        QStringLiteral("ATA_SMART_ATTRIBUTES"),
        {Variant::ofBuffer(Commands::mergeSmartAttributes(data, thresholds), QStringLiteral("ATA_SMART_ATTRIBUTES"))});
}

void DiskProperties::rawScsi(RawDevice &device)
{
    if (!m_sets.contains(QStringLiteral("GET_SCSI_INQUIRY"))) {
        const QByteArray inquiry = device.inquiry(false, 0, 96);
        if (Commands::parseInquiry(inquiry).valid)
            m_sets.set(QStringLiteral("GET_SCSI_INQUIRY"),
                       {Variant::ofBuffer(inquiry, QStringLiteral("GET_SCSI_INQUIRY"))});
    }
    // USB bridges are known to hang on EVPD requests: only sysfs pages for them.
    if (m_sets.contains(QStringLiteral("GET_SCSI_VPDS")) || m_disk.kind == DiskKind::Usb)
        return;
    // Page 00h lists the pages; its reply is kept as it is, not asked for twice.
    const QByteArray supported = device.inquiry(true, 0x00, 255);
    QList<quint8> pages;
    for (quint8 page : Commands::vpdSupportedPages(supported)) {
        if (page != 0 && !pages.contains(page) && pages.size() < maxVpdPages)
            pages.append(page);
    }
    PropertyValue result;
    const QByteArray list = Commands::vpdPage(supported, 0x00);
    if (!list.isEmpty())
        result.append(Variant::ofBuffer(list, QStringLiteral("VPD_PAGE_0")));
    for (quint8 page : pages) {
        const QByteArray data = Commands::vpdPage(device.inquiry(true, page, 255), page);
        if (!data.isEmpty())
            result.append(Variant::ofBuffer(data, QStringLiteral("VPD_PAGE_%1").arg(page)));
    }
    if (!result.isEmpty())
        m_sets.set(QStringLiteral("GET_SCSI_VPDS"), result);
    for (const Variant &v : result) {
        if (v.name != QLatin1String("VPD_PAGE_128"))
            continue;
        if (m_companion.value(QStringLiteral("VPD_SERIAL")).isEmpty())
            m_companion.setText(QStringLiteral("VPD_SERIAL"), Commands::vpdSerial(v.buffer));
        if (m_node.value(QStringLiteral("SERIAL")).isEmpty())
            m_node.setText(QStringLiteral("SERIAL"), Commands::vpdSerial(v.buffer));
    }
}

void DiskProperties::rawNvme(RawDevice &device)
{
    const auto nsid = m_node.value(QStringLiteral("NVM_NSID")).value(0).integer;
    const Commands::NvmeNamespace ns = Commands::parseNvmeNamespace(device.nvmeIdentify(0, quint32(nsid)));
    if (!ns.valid) {
        note(QStringLiteral("NVMe Identify Namespace of %1 failed: %2").arg(m_disk.name, device.failureText()),
             device.failure() == Failure::NoRights);
    } else {
        m_node.setInt(QStringLiteral("NVM_NSZE"), ns.size);
        m_node.setInt(QStringLiteral("NVM_NCAP"), ns.capacity);
        m_node.setInt(QStringLiteral("NVM_NUSE"), ns.utilisation);
        m_node.setText(QStringLiteral("NVM_NGUID"), Commands::nguidText(ns.nguid));
        m_node.setText(QStringLiteral("NVM_EUI"), Commands::euiText(ns.eui64));
    }
    // Identify Controller goes to the controller's character device when it
    // can be opened, else through the namespace.
    const QString controller = m_disk.nvmeController.section(QLatin1Char('/'), -1);
    RawDevice ctrlDevice(m_reader, {controller, m_disk.nvmeController, false}, Allowlist::DeviceClass::Nvme);
    RawDevice &target = ctrlDevice.isOpen() ? ctrlDevice : device;
    const Commands::NvmeController c = Commands::parseNvmeController(target.nvmeIdentify(1, 0));
    if (!c.valid) {
        note(QStringLiteral("NVMe Identify Controller of %1 failed: %2").arg(m_disk.name, target.failureText()),
             target.failure() == Failure::NoRights);
        return;
    }
    m_companion.setText(QStringLiteral("NVM_VER"), Commands::nvmeVersionText(c.version));
    m_companion.setInt(QStringLiteral("NVM_NAMESPACE_COUNT"), c.namespaceCount);

    // The health log, unless the kernel has the controller suspended: a command
    // would wake it.
    const QString power = m_reader.text(m_disk.pciFunction + QStringLiteral("/power/runtime_status"));
    if (!m_disk.pciFunction.isEmpty() &&
        (power == QLatin1String("suspended") || power == QLatin1String("suspending"))) {
        m_notes.standby = true;
        note(QStringLiteral("NVMe health log not read from %1: the controller is suspended").arg(m_disk.name), false);
        return;
    }
    const QByteArray log = target.nvmeSmartLog();
    if (log.size() == 512)
        m_sets.set(QStringLiteral("NVME_SMART_LOG"), {Variant::ofBuffer(log, QStringLiteral("NVME_SMART_LOG"))});
    else
        note(QStringLiteral("NVMe health log of %1 could not be read: %2").arg(m_disk.name, target.failureText()),
             target.failure() == Failure::NoRights);
}

void DiskProperties::rawMmc(RawDevice &device)
{
    const Commands::ExtCsd e = Commands::parseExtCsd(device.mmcExtCsd());
    if (!e.valid) {
        note(QStringLiteral("EXT_CSD of %1 could not be read: %2").arg(m_disk.name, device.failureText()),
             device.failure() == Failure::NoRights);
        return;
    }
    PropertyValue types;
    for (const QString &t : e.deviceTypes)
        types.append(Variant::ofText(t));
    if (!types.isEmpty())
        m_node.set(QStringLiteral("MMC_DEVICE_TYPE"), types);
    m_node.setInt(QStringLiteral("MMC_PARTITIONING_EN"), e.partitioningEnabled);
    m_node.setInt(QStringLiteral("MMC_ENH_ATTRIBUTE_EN"), e.enhancedAttribute);
    m_node.setInt(QStringLiteral("MMC_EXT_ATTRIBUTE_EN"), e.extendedAttribute);
    for (int i = 0; i < 4; ++i)
        m_node.setInt(QStringLiteral("MMC_GPP%1_SIZE").arg(i + 1), e.gppSize[i]);
    m_node.setText(QStringLiteral("MMC_DEVICE_LIFE_TIME_EST_TYP_A"), Commands::lifeTimeText(e.lifeTimeA));
    m_node.setText(QStringLiteral("MMC_DEVICE_LIFE_TIME_EST_TYP_B"), Commands::lifeTimeText(e.lifeTimeB));
    m_node.setText(QStringLiteral("MMC_PRE_EOL_INFO"), Commands::preEolText(e.preEol));
}

} // namespace Services::Nodes::Linux
