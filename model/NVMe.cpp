// NVMe tab: controller rows from the controller provider (index 1) of the
// drive node, namespace rows from the drive node itself.
#include "model/NVMe.h"

#include "model/NodeUtils.h"
#include "platform/I18n.h"

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
        g.setNumber(label, v, NumberFormat::hex());
}
} // namespace

NVMe::NVMe(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
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
}

NVMe::~NVMe() = default;

} // namespace Applications::DriveScope::Model
