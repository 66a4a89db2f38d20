// The Partitions tab: the table as a whole, then one group per partition, as
// the partition manager reads them from the drive's blocks.
#include "model/Partitions.h"

#include "model/NodeUtils.h"
#include "platform/Error.h"
#include "platform/I18n.h"
#include "platform/Log.h"
#include "platform/disks/FilesysNames.h"
#include "platform/disks/PartMan.h"

namespace {
const int kChannel = SysLogFilter::reg("Partitions");
}

namespace Applications::DriveScope::Model {

namespace {

using namespace Libraries::Disks::PartMan;

QString tx(const char *key, const char *fallback)
{
    return Libraries::QI18n::Translator::translateWithEmpty("quill.drivescope", fallback, key);
}

PropertyValue missing()
{
    return PropertyValue{Variant::none()};
}
PropertyValue text(const QString &value)
{
    return value.isNull() ? missing() : PropertyValue{Variant::ofText(value)};
}
PropertyValue number(quint64 value)
{
    return PropertyValue{Variant::ofInt(value)};
}

QString uuidText(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

const char *tableTypeName(int type)
{
    static const char *const kNames[] = {"NONE",        "DISTRIBUTED", "GPT", "SYNCED GPT", "MBR",
                                         "SUPERFLOPPY", "MBR",         "GPT", "SYNCED GPT", "APM"};
    return type >= 0 && type < int(std::size(kNames)) ? kNames[type] : "NONE";
}

bool isGptTable(int type)
{
    return type == PartitionManager::TableGpt || type == PartitionManager::TableSyncedGpt ||
           type == PartitionManager::TableGptBackup || type == PartitionManager::TableSyncedGptBackup;
}

// The map's one line for a table that could not be read.
QString unreadableReason(quint32 code)
{
    switch (code) {
    case Error::AccessDenied:
        return tx("main.part.map.held", "Another program holds the drive exclusively; its table was not read");
    case Error::BadData:
        return tx("main.part.map.damaged", "The partition table is damaged or of an unsupported kind");
    case Error::BadArguments:
        return tx("main.part.map.noblocks", "The drive's blocks cannot be read");
    default:
        return tx("main.part.map.unreadable", "The partition table cannot be read (error %1)")
            .arg(SysLog::errorText(code));
    }
}

PropertyValue chsText(const Partition &p, quint32 chs)
{
    if (p.kind() < Partition::KindMbrPrimary || p.kind() > Partition::KindMbrHybrid)
        return missing();
    quint32 cylinder = 0, head = 0, sector = 0;
    if (!Partition::splitCHS(chs, cylinder, head, sector))
        return missing();
    return text(QStringLiteral("C:%1 H:%2 S:%3").arg(cylinder).arg(head).arg(sector));
}

} // namespace

Partitions::Partitions(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    Ref<Interfaces::Storage> storage;
    Ref<Interfaces::Lockable> lockable;
    openStorage(m_path, storage, lockable);

    GroupRecord &table = group(tx("main.part.table", "PARTITION TABLE"));
    const Ref<PartitionManager> manager = PartitionManager::create(storage, m_node, lockable, 0);
    if (!manager) {
        const quint32 code = Error::get();
        SysLog::write(kChannel, LogLevel::Severe,
                      QStringLiteral("Failed to create partition manager for ") + m_path + QStringLiteral("; error: ") +
                          SysLog::errorText(code));
        table.setDimmedValue(tx("main.part.table.type", "PARTITION TABLE TYPE"),
                             placeholder(tx("gen.text.error", "ERROR")));
        m_layout = PartitionLayout::unreadable(unreadableReason(code));
        return;
    }

    m_layout = PartitionLayout::fromTable(*manager);
    const int type = manager->tableType();
    const bool gpt = isGptTable(type);
    table.setString(
        tx("main.part.table.type", "PARTITION TABLE TYPE"),
        text(Libraries::QI18n::Translator::translateWithEmpty("quill.drivescope", tableTypeName(type), "")));
    table.setNumber(tx("main.part.table.count", "PARTITIONS"), number(manager->partitionCount()));
    const quint32 signature = manager->mbrDiskSignature();
    table.setString(
        tx("main.part.table.id.mbr", "MBR DISK ID"),
        text(signature ? QStringLiteral("%1").arg(signature, 8, 16, QLatin1Char('0')).toUpper() : QString("")));
    table.setString(tx("main.part.table.id.gpt", "GPT DISK ID"),
                    gpt ? text(manager->gptDiskGuid().isNull() ? QString("") : uuidText(manager->gptDiskGuid()))
                        : missing());
    table.setNumber(tx("main.part.table.gpt.count", "GPT TABLE ENTRY COUNT"),
                    gpt ? number(manager->gptEntryCount()) : missing());
    table.setNumber(tx("main.part.table.gpt.size", "GPT TABLE ENTRY SIZE"),
                    gpt ? number(manager->gptEntrySize()) : missing(),
                    NumberFormat().withUnit(tx("gen.var.byte", " BYTE")));

    for (quint32 i = 0; i < manager->partitionCount(); ++i) {
        const Ref<Partition> p = manager->partition(i);
        if (!p)
            break;
        GroupRecord &g = group(tx("main.part.part", "PARTITION %1").arg(i + 1));
        const bool gptEntry = p->kind() == Partition::KindGpt;
        g.setString(tx("gen.text.name", "NAME"), text(p->name()));
        g.setString(tx("gen.text.type", "TYPE NAME"), text(PartitionNames::UUIDtoName(p->typeUUID(), false)));
        g.setString(tx("main.part.part.type.gpt", "TYPE GPT"), gptEntry ? text(uuidText(p->typeUUID())) : missing());
        g.setString(tx("main.part.part.type.mbr", "TYPE MBR"),
                    gptEntry ? missing()
                             : text(QStringLiteral("%1h").arg(
                                   QString::number(Partition::getLegacyTypeFromUUID(p->typeUUID()), 16).toUpper(), 2,
                                   QLatin1Char('0'))));
        g.setString(tx("main.part.part.id", "PART ID"), gptEntry ? text(uuidText(p->uniqueGUID())) : missing());
        g.setNumber(tx("main.part.part.start", "START"), number(p->start()));
        g.setNumber(tx("main.part.part.end", "END"), p->size() ? number(p->start() + p->size() - 1) : missing());
        g.setNumber(tx("quill.gen.text.size", "SIZE"), number(p->size()));
        g.setString(tx("main.part.part.chs.start", "CHS START"), chsText(*p, p->chsStart()));
        g.setString(tx("main.part.part.chs.end", "CHS END"), chsText(*p, p->chsEnd()));
        g.setString(tx("quill.gen.text.fs", "FILE SYSTEM TYPE"), text(FilesysNames::FSTypeToName(p->fsType())));
        g.setString(tx("quill.gen.text.volume.name", "VOLUME NAME"), text(p->volumeName()));
        g.setString(tx("quill.gen.text.volume.id", "VOLUME ID"), text(p->volumeId()));
    }
}

Partitions::~Partitions() = default;

} // namespace Applications::DriveScope::Model
