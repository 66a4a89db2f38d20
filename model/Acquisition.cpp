// Drive data acquisition: which tabs a drive gets, with the validity checks of
// the S.M.A.R.T. and IDENTIFY data.
#include "model/Acquisition.h"

#include <QDebug>

#include "model/Ata.h"
#include "model/General.h"
#include "model/NVMe.h"
#include "model/NodeUtils.h"
#include "model/PCI.h"
#include "model/Partitions.h"
#include "model/SCSI.h"
#include "model/SDeMMC.h"
#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "model/USB.h"
#include "model/ata/Identify.h"
#include "platform/Error.h"
#include "platform/Log.h"

namespace Applications::DriveScope {

using Services::Nodes::Node;

using namespace Model;

namespace {

constexpr int IdentifySize = 512;

QString hexError()
{
    return QString::number(Error::get(), 16).toUpper();
}

bool hasPropertySet(const Ref<Interfaces::Generic> &generic, const QString &name)
{
    const int sets = generic->propertySetCount();
    for (int i = 0; i < sets; ++i) {
        if (generic->propertySetName(i) == name)
            return true;
    }
    return false;
}

bool isNumber(const PropertyValue &value)
{
    return !isMissing(value) && value.first().kind == Variant::Integer;
}

} // namespace

Acquisition::Acquisition() = default;
Acquisition::~Acquisition() = default;

std::unique_ptr<DriveData> Acquisition::acquireDrive(const QString &path, const QString &name)
{
    // Every acquisition is a refresh: the drive is read anew, once.
    Services::Nodes::Backend::instance().refresh(path);
    int failedStep = 0;
    const Ref<Interfaces::Generic> generic = openGeneric(path, 0, false, &failedStep);
    static const char *const failures[] = {"", "Could not open node", "Could not create node provider for node",
                                           "Could not create generic interface for node"};
    if (!generic) {
        qCritical().noquote().nospace() << failures[failedStep] << ' ' << path << "; error: " << hexError();
        return nullptr;
    }
    // Held for the whole refresh: the table-type check, the partition reader
    // and its probes share one cache and read each block of the drive once.
    const Ref<Interfaces::Storage> blocks = Services::Nodes::Providers::Storage::create(
        Services::Nodes::Provider::create(Services::Filesystem::Client::Nodes::open(path), 0));

    auto data = std::make_unique<DriveData>();
    data->name = name;
    const QString type = valueText(generic->read(QStringLiteral("TYPE")));

    data->general = std::make_unique<General>(generic, path);
    if (m_partitionsTab && !isSafeDisk(path))
        data->partitions = std::make_unique<Partitions>(generic, path);

    if (type == QLatin1String("NVMe")) {
        data->interfaces = DriveData::Nvme;
        readNvmeHealth(generic, path, *data);
        data->nvme = std::make_unique<NVMe>(generic, path, data->nvmeHealth);
    } else if (type == QLatin1String("USB")) {
        data->interfaces = DriveData::Usb;
        data->usb = std::make_unique<USB>(generic, path);
    } else if (type == QLatin1String("CARD")) {
        data->interfaces = DriveData::Card;
        data->sdemmc = std::make_unique<SDeMMC>(generic, path);
    }

    const PropertyValue scsiSet = generic->read(QStringLiteral("NODE_SET_SCSI"));
    if (isNumber(scsiSet) && scsiSet.first().integer != 0) {
        data->interfaces |= DriveData::Scsi;
        data->scsi = std::make_unique<SCSI>(generic, path);
    }

    if (hasPciInformation(generic))
        data->pci = std::make_unique<PCI>(generic, path);

    bool hasSmart = false, hasIdentify = false, hasScsiSet = false;
    const int sets = generic->propertySetCount();
    for (int i = 0; i < sets; ++i) {
        const QString set = generic->propertySetName(i);
        if (set == QLatin1String("ATA_SMART_ATTRIBUTES"))
            hasSmart = true;
        else if (set == QLatin1String("ATA_IDENTIFY"))
            hasIdentify = true;
        else if (set == QLatin1String("GET_SCSI_INQUIRY") || set == QLatin1String("GET_SCSI_VPDS"))
            hasScsiSet = true;
    }
    if (hasScsiSet && !data->scsi) {
        data->interfaces |= DriveData::Scsi;
        data->scsi = std::make_unique<SCSI>(generic, path);
    }
    if (!hasSmart && !hasIdentify) {
        qDebug().noquote() << "Drive does not support S.M.A.R.T. or IDENTIFY:" << path;
        return data;
    }
    data->interfaces |= DriveData::Ata;

    // IDENTIFY first: the drive's model tells how some attributes count.
    if (hasIdentify)
        readIdentify(generic, path, *data);
    if (hasSmart)
        readSmart(generic, path, *data);
    return data;
}

void Acquisition::readNvmeHealth(const Ref<Interfaces::Generic> &generic, const QString &path, DriveData &data)
{
    if (!hasPropertySet(generic, QStringLiteral("NVME_SMART_LOG")))
        return;
    const PropertyValue result =
        generic->request({Variant::ofText(QStringLiteral("Yes"), QStringLiteral("NVME_SMART_LOG"))});
    const QByteArray buffer = result.isEmpty() ? QByteArray() : result.first().buffer;
    data.nvmeHealth = decodeNvmeHealth(buffer);
    if (!data.nvmeHealth)
        qWarning().noquote() << "Invalid NVMe health log; size:" << buffer.size() << "; node:" << path;
}

void Acquisition::readSmart(const Ref<Interfaces::Generic> &generic, const QString &path, DriveData &data)
{
    bool found = false, enabled = false;
    const int count = generic->propertyCount();
    for (int i = 0; i < count && !found; ++i) {
        if (generic->propertyName(i) != QLatin1String("ATA_SMART_ENABLED"))
            continue;
        found = true;
        const PropertyValue value = generic->read(QStringLiteral("ATA_SMART_ENABLED"));
        enabled = !value.isEmpty() && value.first().name == QLatin1String("ATA_SMART_ENABLED") &&
                  value.first().kind == Variant::Integer && value.first().integer == 1;
    }
    if (!found) {
        qWarning().noquote() << "Drive has no S.M.A.R.T. attribute:" << path;
        return;
    }
    if (!enabled) {
        qWarning().noquote() << "S.M.A.R.T. is not enabled:" << path;
        return;
    }
    const PropertyValue status = generic->read(QStringLiteral("ATA_SMART_STATUS"));
    if (status.isEmpty() || status.first().kind != Variant::Integer) {
        qDebug().noquote() << "Could not determine HEALTH STATUS:" << path;
        return;
    }
    const bool healthy = status.first().integer == 1;

    QList<SmartAttribute> attributes;
    const PropertyValue result =
        generic->request({Variant::ofText(QStringLiteral("Yes"), QStringLiteral("ATA_SMART_ATTRIBUTES"))});
    if (result.isEmpty() || result.first().kind == Variant::None) {
        qCritical().noquote() << "Could not determine S.M.A.R.T. attributes:" << path;
    } else if (!result.first().buffer.isNull()) {
        const QByteArray &buffer = result.first().buffer;
        bool whole = false;
        attributes = decodeSmartRecords(buffer, &whole);
        if (!whole)
            qCritical().noquote() << "Data is not a multiple of attribute size:" << buffer.size();
        if (data.ata) {
            const Identify::Words words(data.ata->identify());
            applyDriveQuirks(attributes, words.text(27, 20).trimmed(), words.text(23, 4).trimmed());
        }
    }
    data.smart = std::make_unique<Smart>(attributes, healthy);
}

void Acquisition::readIdentify(const Ref<Interfaces::Generic> &generic, const QString &path, DriveData &data)
{
    const PropertyValue result = generic->request({Variant::ofInt(1, QStringLiteral("ATA_IDENTIFY"))});
    if (result.isEmpty() || result.first().kind == Variant::None) {
        qWarning().noquote() << "No valid IDENTIFY data:" << path;
        return;
    }
    const QByteArray &buffer = result.first().buffer;
    if (buffer.isNull() || buffer.size() != IdentifySize) {
        const QString size = buffer.isNull() ? QStringLiteral("NULL") : QString::number(buffer.size());
        qWarning().noquote().nospace() << "Invalid data returned for IDENTIFY; size: " << size << "; node: " << path;
        qDebug() << "Expected size:" << IdentifySize;
        return;
    }
    data.ata = std::make_unique<Ata>(buffer);
}

Ref<Interfaces::Generic> Acquisition::controlInterface()
{
    if (!m_volumeServer) {
        m_volumeServer = openGeneric(QStringLiteral("/devices/vsctrl"), 0, true);
        if (!m_volumeServer)
            SysLog::write(0, LogLevel::Failure, QStringLiteral("Failed to open volume server control node"));
    }
    return m_volumeServer;
}

bool Acquisition::isVolumeServerOn()
{
    Ref<Interfaces::Generic> control = controlInterface();
    if (!control)
        return false;
    PropertyValue status = control->read(QStringLiteral("STATUS"));
    if (isMissing(status)) {
        // The control node may have been restarted behind our cached handle.
        m_volumeServer.reset();
        control = controlInterface();
        if (!control)
            return false;
        status = control->read(QStringLiteral("STATUS"));
    }
    return valueText(status) == QLatin1String("ON");
}

bool Acquisition::isSafeDisk(const QString &path)
{
    if (!isVolumeServerOn())
        return false;
    const Ref<Node> drive = Services::Filesystem::Client::Nodes::open(path);
    if (!drive) {
        SysLog::write(0, LogLevel::Failure,
                      QStringLiteral("Failed to open node ") + path + QStringLiteral("; error: ") +
                          SysLog::errorText(Error::get()));
        return false;
    }
    const Ref<Interfaces::Generic> control = controlInterface();
    if (!control)
        return false;
    PropertyValue nodes = control->read(QStringLiteral("NODES"));
    if (isMissing(nodes))
        return false;
    if (nodes.first().kind == Variant::List)
        nodes = nodes.first().list;
    const QString canonical = drive->canonicalName();
    for (const Variant &element : nodes) {
        const QString protectedPath = valueText({element});
        if (protectedPath.isNull())
            continue;
        const Ref<Node> candidate = Services::Filesystem::Client::Nodes::open(protectedPath);
        if (!candidate) {
            SysLog::write(0, LogLevel::Failure,
                          QStringLiteral("Failed to open node ") + protectedPath + QStringLiteral("; error: ") +
                              SysLog::errorText(Error::get()));
            continue;
        }
        if (candidate->canonicalName() == canonical)
            return true;
    }
    return false;
}

bool Acquisition::isDriveSupported(const QString &path, bool *opened)
{
    int failedStep = 0;
    const Ref<Interfaces::Generic> generic = openGeneric(path, 0, false, &failedStep);
    if (opened)
        *opened = generic != nullptr;
    if (!generic) {
        static const char *const failures[] = {"", "Failed to open node ", "Failed to create node provider ",
                                               "Failed to create generic provider "};
        SysLog::write(0, LogLevel::Failure,
                      QString::fromLatin1(failures[failedStep]) + path + QStringLiteral("; error: ") +
                          SysLog::errorText(Error::get()));
        return true;
    }
    const PropertyValue scsiSet = generic->read(QStringLiteral("NODE_SET_SCSI"));
    if (isNumber(scsiSet) && openGeneric(path, int(scsiSet.first().integer), true))
        return true;
    const QString type = valueText(generic->read(QStringLiteral("TYPE")));
    if (type == QLatin1String("NVMe") || type == QLatin1String("USB") || type == QLatin1String("CARD"))
        return true;
    const int sets = generic->propertySetCount();
    for (int i = 0; i < sets; ++i) {
        const QString set = generic->propertySetName(i);
        if (set == QLatin1String("ATA_SMART_ATTRIBUTES") || set == QLatin1String("ATA_IDENTIFY") ||
            set == QLatin1String("GET_SCSI_INQUIRY") || set == QLatin1String("GET_SCSI_VPDS"))
            return true;
    }
    SysLog::write(0, LogLevel::Routine, QStringLiteral("Drive is not suported: ") + path);
    return false;
}

} // namespace Applications::DriveScope
