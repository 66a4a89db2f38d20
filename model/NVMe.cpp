// NVMe tab: controller rows from the controller provider (index 1) of the
// drive node, namespace rows from the drive node itself, health rows from the
// decoded health log.
#include "model/NVMe.h"

#include "model/NodeUtils.h"
#include "platform/I18n.h"
#include "platform/StringUtil.h"

#include <limits>

namespace Applications::DriveScope::Model {

namespace {
void text(Group::GroupRecord &g, const QString &label, const PropertyValue &v)
{
    g.setString(label, v);
}
void decimal(Group::GroupRecord &g, const QString &label, const PropertyValue &v)
{
    g.setNumber(label, v);
}
// An EUI-64 read from a drive is text that keeps its leading zero bytes;
// one given as an integer is shown in hexadecimal.
void eui(Group::GroupRecord &g, const QString &label, const PropertyValue &v)
{
    if (!v.isEmpty() && v.first().kind == Variant::Text)
        g.setString(label, {Variant::ofText(v.first().text.toUpper())});
    else
        g.setNumber(label, v, NumberFormat::hex().padded(16)); // eight bytes, leading zeros kept
}

QString counter(UInt128 value)
{
    return StringUtil::groupDigits(uint128ToString(value));
}

QString celsius(int kelvin)
{
    return QStringLiteral("%1 \u00B0C").arg(kelvin - 273);
}

QString percent(quint8 value)
{
    return QStringLiteral("%1 %").arg(value);
}

// Data units count thousands of 512-byte units: the count, then the byte size
// when it fits the size formatter (it always does for a real drive).
QString dataUnits(UInt128 units)
{
    constexpr UInt128 unitBytes = 512 * 1000;
    const QString count = counter(units);
    if (units > std::numeric_limits<quint64>::max() / unitBytes)
        return count;
    const quint64 bytes = quint64(units * unitBytes);
    return QStringLiteral("%1 (%2%3)")
        .arg(count, StringUtil::formatSizesSmart(bytes, true), trKey("gen.var.byte", "B"));
}

QString criticalWarning(quint8 warning)
{
    const QString hex = QString::number(warning, 16).toUpper().rightJustified(2, QLatin1Char('0')) + QLatin1Char('h');
    const QStringList names = nvmeCriticalWarningNames(warning);
    return names.isEmpty() ? hex : QStringLiteral("%1 (%2)").arg(hex, names.join(QStringLiteral(", ")));
}
} // namespace

NVMe::NVMe(const Ref<Interfaces::Generic> &node, const QString &path, const std::optional<NvmeHealth> &health,
           QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    setNode(node);
    const Ref<Interfaces::Generic> controller = openGeneric(path, 1, true);

    const Source fromNode = [this](const QString &property) {
        return m_node ? m_node->read(property) : PropertyValue();
    };
    const Source controllerOnly = [&controller](const QString &property) {
        return controller ? controller->read(property) : PropertyValue();
    };
    const Source controllerFirst = [&](const QString &property) {
        const PropertyValue value = controllerOnly(property);
        return isMissing(value) ? fromNode(property) : value;
    };

    GroupRecord &ctrl = group(trKey("nvme.ctrl", "CONTROLLER INFORMATION"));
    ctrl.setString(trKey("quill.gen.text.model", "MODEL"), controllerFirst(QStringLiteral("MODEL")));
    ctrl.setString(trKey("quill.gen.text.firmware", "FIRMWARE"), controllerFirst(QStringLiteral("FIRMWARE")));
    setFormatted(ctrl, trKey("quill.gen.text.version", "VERSION"), QStringLiteral("NVM_VER"), text, controllerOnly);
    setFormatted(ctrl, trKey("quill.gen.text.serial", "SERIAL"), QStringLiteral("SERIAL"), text, controllerOnly);
    setFormatted(ctrl, trKey("nvme.ctrl.nscount", "NUMBER OF NAMESPACES"), QStringLiteral("NVM_NAMESPACE_COUNT"),
                 decimal, controllerOnly);
    setFormatted(ctrl, trKey("quill.gen.text.conn", "CONNECTION"), QStringLiteral("CONNECTION"), text, controllerOnly);

    GroupRecord &ns = group(trKey("nvme.namespace", "NAMESPACE INFORMATION"));
    setFormatted(ns, trKey("nvme.namespace.id", "ID"), QStringLiteral("NVM_NSID"), decimal, fromNode);
    setFormatted(ns, trKey("nvme.namespace.size", "SIZE"), QStringLiteral("NVM_NSZE"), decimal, fromNode);
    setFormatted(ns, trKey("nvme.namespace.capacity", "CAPACITY"), QStringLiteral("NVM_NCAP"), decimal, fromNode);
    setFormatted(ns, trKey("nvme.namespace.used", "USED"), QStringLiteral("NVM_NUSE"), decimal, fromNode);
    setFormatted(ns, trKey("nvme.namespace.nguid", "NGUID"), QStringLiteral("NVM_NGUID"), text, fromNode);
    setFormatted(ns, trKey("nvme.namespace.eui", "EUI"), QStringLiteral("NVM_EUI"), eui, fromNode);

    if (health)
        addHealth(*health);
}

void NVMe::addHealth(const NvmeHealth &h)
{
    GroupRecord &g = group(trKey("nvme.health", "HEALTH INFORMATION"));
    const auto row = [&g](const char *key, const char *label, const QString &value) {
        g.setValue(trKey(key, label), value);
    };
    const QString minutes = trKey("nvme.health.unit.min", "min");
    row("nvme.health.warning", "CRITICAL WARNING", criticalWarning(h.criticalWarning));
    row("nvme.health.temperature", "TEMPERATURE", celsius(h.temperatureKelvin));
    row("nvme.health.spare", "AVAILABLE SPARE", percent(h.availableSpare));
    row("nvme.health.sparethreshold", "AVAILABLE SPARE THRESHOLD", percent(h.availableSpareThreshold));
    row("nvme.health.used", "PERCENTAGE USED", percent(h.percentageUsed));
    row("nvme.health.unitsread", "DATA UNITS READ", dataUnits(h.dataUnitsRead));
    row("nvme.health.unitswritten", "DATA UNITS WRITTEN", dataUnits(h.dataUnitsWritten));
    row("nvme.health.readcommands", "HOST READ COMMANDS", counter(h.hostReadCommands));
    row("nvme.health.writecommands", "HOST WRITE COMMANDS", counter(h.hostWriteCommands));
    row("nvme.health.busytime", "CONTROLLER BUSY TIME", counter(h.controllerBusyMinutes) + QLatin1Char(' ') + minutes);
    row("nvme.health.powercycles", "POWER CYCLES", counter(h.powerCycles));
    row("nvme.health.poweronhours", "POWER ON HOURS", counter(h.powerOnHours));
    row("nvme.health.unsafeshutdowns", "UNSAFE SHUTDOWNS", counter(h.unsafeShutdowns));
    row("nvme.health.mediaerrors", "MEDIA AND DATA INTEGRITY ERRORS", counter(h.mediaErrors));
    row("nvme.health.errorlogentries", "ERROR LOG ENTRIES", counter(h.errorLogEntries));
    row("nvme.health.warningtime", "WARNING TEMPERATURE TIME",
        counter(h.warningTemperatureMinutes) + QLatin1Char(' ') + minutes);
    row("nvme.health.criticaltime", "CRITICAL TEMPERATURE TIME",
        counter(h.criticalTemperatureMinutes) + QLatin1Char(' ') + minutes);
    const QString sensor = trKey("nvme.health.sensor", "TEMPERATURE SENSOR %1");
    for (int i = 0; i < int(h.sensorKelvin.size()); ++i) {
        if (h.sensorKelvin[i] != 0)
            g.setValue(sensor.arg(i + 1), celsius(h.sensorKelvin[i]));
    }
}

NVMe::~NVMe() = default;

} // namespace Applications::DriveScope::Model
