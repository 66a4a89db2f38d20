// The General tab: name, serial, size and geometry, device type, connection,
// removability and partition-table facts of the drive's node, plus the network
// host of a net disk and the list of serials of a multi-path drive.
#include "model/General.h"

#include "model/NodeUtils.h"
#include "platform/I18n.h"
#include "platform/Log.h"
#include "platform/StringUtil.h"
#include "platform/Sys.h"

namespace {
const int kChannel = SysLogFilter::reg("General");
}

namespace Applications::DriveScope::Model {

namespace {

QString tx(const char *key, const char *fallback)
{
    return Libraries::QI18n::Translator::translateWithEmpty("quill.drivescope", fallback, key);
}

// A text as a property value of one element; a null text gives an element
// without text (shown as not available).
PropertyValue oneText(const QString &text)
{
    return PropertyValue{text.isNull() ? Variant::none() : Variant::ofText(text)};
}

QString elementText(const Variant &v)
{
    return v.kind == Variant::Integer ? QString::number(v.integer) : v.text;
}

struct TypeName {
    const char *type;
    const char *key;
    const char *fallback;
};

// Device types and their shown names, tested in this order.
const TypeName kTypeNames[] = {
    {"OPTICAL", "type.optical", "OPTICAL"},
    {"ATAPI", "type.optical", "OPTICAL"},
    {"SCSI", "type.scsi", "SCSI"},
    {"ISCSI", "type.iscsi", "ISCSI"},
    {"AHCI", "type.ahci", "AHCI"},
    {"SATA", "type.ahci", "AHCI"},
    {"IDE", "type.ide", "IDE"},
    {"NVME", "type.nvme", "NVME"},
    {"ATA", "type.ata", "ATA"},
    {"VIRTUAL", "type.virtual", "VIRTUAL"},
    {"VIRTUAL_FILE", "type.virtual", "VIRTUAL"},
    {"USB", "type.usb", "USB"},
    {"SP", "type.storagespace", "SP"},
    {"CARD", "type.card", "CARD"},
    {"FC", "type.fc", "FIBRECHANNEL"},
    {"FW", "type.firewire", "FIREWIRE"},
    {"SSA", "type.ssa", "SSA"},
    {"SAS", "type.sas", "SAS"},
    {"RAID", "type.raid", "RAID"},
    {"UFS", "type.ufs", "UFS"},
    {"SD", "type.card.sd", "SD"},
    {"MMC", "type.card.mmc", "MMC"},
    {"SCM", "type.scm", "SCM"},
};

} // namespace

General::General(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    auto read = [this](const char *name) { return m_node ? m_node->read(QString::fromLatin1(name)) : PropertyValue(); };
    const bool hosted = Sys::info(Sys::InfoHosted) != 0;

    GroupRecord &info = group(tx("main.grid.text.devinfo", "DEVICE INFORMATION"));
    info.setString(tx("gen.text.name", "NAME"), read("NAME"));

    // A multi-path drive lists its serials in a nested list; the first is the drive's.
    const PropertyValue serial = read("SERIAL");
    const QString serialLabel = tx("quill.gen.text.serial", "SERIAL");
    PropertyValue serials;
    if (isMissing(serial)) {
        info.setString(serialLabel, PropertyValue());
    } else if (serial.first().kind == Variant::List) {
        serials = serial.first().list;
        info.setString(serialLabel, serials);
    } else {
        serials = serial;
        info.setString(serialLabel, serial);
    }

    Ref<Interfaces::Storage> storage;
    Ref<Interfaces::Lockable> lockable;
    const QString sizeLabel = tx("quill.gen.text.size", "SIZE");
    const QString countLabel = tx("quill.gen.text.block.cnt", "BLOCKS");
    const QString blockLabel = tx("quill.gen.text.block.size", "BLOCKSIZE");
    if (openStorage(m_path, storage, lockable) || storage) {
        const quint64 blockSize = storage->blockSize();
        const quint64 blockCount = storage->blockCount();
        // A product that does not fit is shown as impossible, not wrapped.
        quint64 size = 0;
        const bool possible = !__builtin_mul_overflow(blockSize, blockCount, &size);
        const QString text =
            possible
                ? StringUtil::formatSizesSmart(size, true) + tx("gen.var.byte", "B") + QStringLiteral(" / ") +
                      StringUtil::formatSizesSmart(size, false) + tx("gen.var.byte.bi", "iB")
                : tx("gen.var.size.impossible", "impossible (%1 blocks of %2 bytes)").arg(blockCount).arg(blockSize);
        info.setString(sizeLabel, oneText(text));
        info.setNumber(countLabel, PropertyValue{Variant::ofInt(blockCount)});
        info.setNumber(blockLabel, PropertyValue{Variant::ofInt(blockSize)});
    } else {
        info.setString(sizeLabel, PropertyValue());
        info.setNumber(countLabel, PropertyValue());
        info.setNumber(blockLabel, PropertyValue());
    }

    QString type;
    if (hosted)
        type = valueText(read("TYPE_HOST"));
    if (type.isNull())
        type = valueText(read("TYPE"));
    if (type.isNull())
        type = tx("gen.text.unknown", "UNKNOWN");
    if (type == QLatin1String("CARD")) {
        const QString cardType = valueText(read("CARD_TYPE"));
        if (!cardType.isNull())
            type = cardType;
    }
    for (const TypeName &t : kTypeNames) {
        if (type == QLatin1String(t.type)) {
            type = tx(t.key, t.fallback);
            break;
        }
    }
    info.setString(tx("quill.gen.text.controller", "TYPE"), oneText(type));

    const QString connectionLabel = tx("quill.gen.text.conn", "CONNECTION");
    const PropertyValue connection = read("CONNECTION");
    if (isMissing(connection) && hosted)
        info.setDimmedValue(connectionLabel, notAvailableOnPlatform());
    else
        info.setString(connectionLabel, connection);

    const QString removable = valueText(read("REMOVABLE"));
    if (removable == QLatin1String("YES")) {
        info.setValue(tx("type.removable", "REMOVABLE"), tx("gen.button.yes", "YES"));
    } else {
        if (!removable.isNull() && removable != QLatin1String("NO"))
            SysLog::write(kChannel, LogLevel::Failure, QStringLiteral("Unsupported value for REMOVABLE: ") + removable);
        info.setValue(tx("type.removable", "REMOVABLE"), tx("gen.button.no", "NO"));
    }

    info.setString(tx("main.part.table.type", "PARTITION TABLE TYPE"), read("PART_TABLE_TYPE"));
    info.setString(tx("quill.gen.text.disksig", "DISK SIGNATURE"), read("DISK_SIGNATURE"));

    const PropertyValue netdisk = read("NETDISK");
    if (!isMissing(netdisk)) {
        GroupRecord &net = group(tx("main.gen.netdisk", "NETDISK INFORMATION"));
        QString host;
        for (const Variant &v : netdisk) {
            if (v.name == QLatin1String("NAME")) {
                host = elementText(v);
                break;
            }
        }
        net.setString(tx("main.gen.netdisk.host", "HOST"), oneText(host));

        QString platform = QStringLiteral("Novaris");
        for (const Variant &v : read("HOSTPLATFORM")) {
            if (v.name == QLatin1String("HOSTSYSTEM")) {
                platform = elementText(v);
                if (platform == QLatin1String("WINDOWS"))
                    platform = QStringLiteral("Windows");
                else if (platform == QLatin1String("LINUX"))
                    platform = QStringLiteral("Linux");
                break;
            }
        }
        net.setString(tx("main.gen.netdisk.platform", "PLATFORM"), oneText(platform));
    }

    const bool serialList = serial.size() >= 2 || (serial.size() == 1 && serial.first().kind == Variant::List &&
                                                   serial.first().list.size() >= 2);
    if (serialList) {
        GroupRecord &list = group(tx("main.gen.seriallist", "SERIAL INFORMATION"));
        QStringList shown;
        for (const Variant &v : std::as_const(serials)) {
            const QString text = elementText(v);
            if (shown.contains(text))
                continue;
            shown.append(text);
            list.setString(QStringLiteral("#%1").arg(shown.size()), oneText(text));
        }
    }
}

General::~General() = default;

} // namespace Applications::DriveScope::Model
