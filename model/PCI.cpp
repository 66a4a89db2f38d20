// PCI tab. The controller's PCI node is found through the companion nodes of
// the drive's "DEVICE_NODE" (type 2) or through the address in "PCI_ADR".
#include "model/PCI.h"

#include "model/NodeUtils.h"
#include "platform/Error.h"
#include "platform/I18n.h"
#include "platform/Log.h"
#include "platform/Pci.h"

namespace Applications::DriveScope::Model {

namespace {
const int pciChannel = SysLogFilter::reg("PCI");
constexpr quint32 NoInterface = 0x8445;
constexpr quint32 PciCompanion = 2;

PropertyValue readValue(const Ref<Interfaces::Generic> &node, const QString &property)
{
    return node ? node->read(property) : PropertyValue();
}

// The PCI companions of the drive's device node.
QList<Services::Nodes::CompanionNode> pciCompanions(const Ref<Interfaces::Generic> &node)
{
    QList<Services::Nodes::CompanionNode> result;
    const QString deviceNode = valueText(readValue(node, QStringLiteral("DEVICE_NODE")));
    if (deviceNode.isEmpty())
        return result;
    for (const Services::Nodes::CompanionNode &companion :
         Services::Driver::Client::Utils::companionNodes(deviceNode, 0))
        if (quint32(companion.type) == PciCompanion)
            result.append(companion);
    return result;
}

// The first PCI companion with a path, or a null path. One without a path
// cannot be opened, so "PCI_ADR" gets its chance instead.
QString companionPciNode(const Ref<Interfaces::Generic> &node)
{
    for (const Services::Nodes::CompanionNode &companion : pciCompanions(node))
        if (!companion.path.isEmpty())
            return companion.path;
    return QString();
}

void setHexRow(Group::GroupRecord &g, const QString &label, bool available, quint64 value, int width)
{
    g.setNumber(label, available ? PropertyValue{Variant::ofInt(value)} : PropertyValue{Variant::none()},
                NumberFormat::hex().suffixed().padded(width).platformPlaceholder());
}
} // namespace

quint32 readNumber(const Ref<Interfaces::Generic> &node, const QString &property, quint64 maximum)
{
    const PropertyValue value = readValue(node, property);
    if (isMissing(value) || value.first().kind != Variant::Integer || value.first().integer > maximum)
        return 0;
    return quint32(value.first().integer);
}

bool readByte(const PropertyValue &list, const QString &name, quint8 &out)
{
    for (const Variant &element : list) {
        if (element.name != name)
            continue;
        if (element.kind != Variant::Integer || element.integer > 255)
            return false;
        out = quint8(element.integer);
        return true;
    }
    return false;
}

bool hasPciInformation(const Ref<Interfaces::Generic> &node)
{
    if (!node) {
        Error::set(NoInterface);
        return false;
    }
    for (const char *property : {"PCI_ADR", "PCI_DEVICE", "PCI_VENDOR"})
        if (!isMissing(node->read(QString::fromLatin1(property))))
            return true;
    return !pciCompanions(node).isEmpty();
}

PCI::PCI(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    using namespace Services::PCI;
    Definitions::Address address;
    bool addressValid = false;
    // The address that "PCI_ADR" gave; a malformed "BUS_INFO" falls back to it.
    Definitions::Address parsedAddress;

    QString pciPath = companionPciNode(m_node);
    if (pciPath.isNull()) {
        const PropertyValue adr = readValue(m_node, QStringLiteral("PCI_ADR"));
        if (!isMissing(adr) && adr.first().kind == Variant::Text) {
            addressValid = Library::Utils::strToAddr(adr.first().text, address);
            if (addressValid) {
                parsedAddress = address;
                pciPath = Library::Utils::nodeForAddr(address);
            }
        }
    }

    Ref<Interfaces::Generic> pciNode;
    if (!pciPath.isNull()) {
        pciNode = openGeneric(pciPath, 0, false);
        if (!pciNode) {
            const quint32 error = Error::get();
            if (Library::Utils::busFolderExists())
                SysLog::write(pciChannel, LogLevel::Failure,
                              QStringLiteral("Failed to open PCI node ") + pciPath + QStringLiteral("; error: ") +
                                  SysLog::errorText(error));
        }
    }

    quint32 classCode, vendor, product, subVendor, subProduct;
    if (pciNode) {
        SysLog::write(pciChannel, LogLevel::Routine,
                      (addressValid ? QStringLiteral("Retrieved PCI node using PCI_ADR of ")
                                    : QStringLiteral("Retrieved PCI node using DEVICE_NODE of ")) +
                          path);
        PropertyValue busInfo = pciNode->read(QStringLiteral("BUS_INFO"));
        if (!isMissing(busInfo)) {
            if (busInfo.size() == 1 && busInfo.first().kind == Variant::List)
                busInfo = PropertyValue(busInfo.first().list);
            quint8 bus = 0, device = 0, function = 0;
            if (readByte(busInfo, QStringLiteral("BUS"), bus) && readByte(busInfo, QStringLiteral("DEVICE"), device) &&
                readByte(busInfo, QStringLiteral("FUNCTION"), function)) {
                address.bus = bus;
                address.device = device;
                address.function = function;
                address.segment = readNumber(pciNode, QStringLiteral("BUS_SEGMENT"), 0xFFFFFFFF);
                addressValid = true;
            } else {
                SysLog::write(pciChannel, LogLevel::Routine, QStringLiteral("Resetting address"));
                // Back to what "PCI_ADR" said (all zero when it said nothing): the
                // node was opened at that address, so it is the right one.
                address = parsedAddress;
            }
        }
        classCode = readNumber(pciNode, QStringLiteral("CLASSCODE"), 0xFFFFFFFF);
        vendor = readNumber(pciNode, QStringLiteral("VENDOR_ID"), 0xFFFF);
        product = readNumber(pciNode, QStringLiteral("PRODUCT_ID"), 0xFFFF);
        subVendor = readNumber(pciNode, QStringLiteral("SUBSYS_VENDOR_ID"), 0xFFFF);
        subProduct = readNumber(pciNode, QStringLiteral("SUBSYS_PRODUCT_ID"), 0xFFFF);
    } else {
        classCode = readNumber(m_node, QStringLiteral("PCI_CLASS"), 0xFFFFFFFF);
        vendor = readNumber(m_node, QStringLiteral("PCI_VENDOR"), 0xFFFF);
        product = readNumber(m_node, QStringLiteral("PCI_DEVICE"), 0xFFFF);
        subVendor = readNumber(m_node, QStringLiteral("PCI_SUBVENDOR"), 0xFFFF);
        subProduct = readNumber(m_node, QStringLiteral("PCI_SUBDEVICE"), 0xFFFF);
    }
    pciNode.reset();

    GroupRecord &addr = group(trKey("main.pci.addr", "ADDRESS INFORMATION"));
    setHexRow(addr, trKey("main.pci.addr.bus", "BUS"), addressValid, address.bus, 2);
    setHexRow(addr, trKey("main.pci.addr.dev", "DEVICE"), addressValid, address.device, 2);
    setHexRow(addr, trKey("main.pci.addr.func", "FUNCTION"), addressValid, address.function, 2);
    setHexRow(addr, trKey("main.pci.addr.seg", "SEGMENT"), addressValid, address.segment, 4);

    GroupRecord &dev = group(trKey("main.pci.dev", "DEVICE INFORMATION"));
    const bool hasClass = classCode != 0;
    setHexRow(dev, trKey("pci.gen.dw2.b1", "CLASSCODE"), hasClass, classCode, 6);
    setHexRow(dev, trKey("pci.gen.dw2.b1.b16", "BASE"), hasClass, (classCode >> 16) & 0xFF, 2);
    setHexRow(dev, trKey("pci.gen.dw2.b1.b8", "SUB"), hasClass, (classCode >> 8) & 0xFF, 2);
    setHexRow(dev, trKey("pci.gen.dw2.b1.b0", "PI"), hasClass, classCode & 0xFF, 2);
    setHexRow(dev, trKey("pci.gen.dw0.w0", "VENDOR"), vendor != 0, vendor, 4);
    setHexRow(dev, trKey("pci.gen.dw0.w1", "PRODUCT"), product != 0, product, 4);
    setHexRow(dev, trKey("pci.gen.dw11.w0", "SUBSYSTEM VENDOR"), subVendor != 0, subVendor, 4);
    // The names lspci prints beside the ids, as tooltips of their rows.
    using Bus = Services::Nodes::Backend::IdBus;
    const Services::Nodes::Backend &backend = Services::Nodes::Backend::instance();
    if (vendor)
        dev.setDetail(trKey("pci.gen.dw0.w0", "VENDOR"), backend.hardwareName(Bus::Pci, quint16(vendor)));
    if (vendor && product)
        dev.setDetail(trKey("pci.gen.dw0.w1", "PRODUCT"),
                      backend.hardwareName(Bus::Pci, quint16(vendor), int(product & 0xFFFF)));
    if (subVendor)
        dev.setDetail(trKey("pci.gen.dw11.w0", "SUBSYSTEM VENDOR"), backend.hardwareName(Bus::Pci, quint16(subVendor)));
    setHexRow(dev, trKey("pci.gen.dw11.w1", "SUBSYSTEM PRODUCT"), subProduct != 0, subProduct, 4);
}

PCI::~PCI() = default;

} // namespace Applications::DriveScope::Model
