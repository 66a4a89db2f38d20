// Bridge table: ids and names as listed in the public usb.ids list. No flash
// ids: reading them needs vendor commands, which this program never sends.
#include "platform/disks/UsbBridges.h"

#include "platform/Nodes.h"

namespace Libraries::Disks::Utils {

namespace {
const UsbBridge bridges[] = {
    {0x14cd, 0x6116, "Super Top", "M6116"},
    {0x14cd, 0x6600, "Super Top", "M110E"},
    {0x152d, 0x0539, "JMicron", "JMS539/JMS567"},
    {0x152d, 0x0551, "JMicron", "JMS551"},
    {0x152d, 0x0567, "JMicron", "JMS567"},
    {0x152d, 0x0578, "JMicron", "JMS578"},
    {0x152d, 0x0583, "JMicron", "JMS583"},
    {0x152d, 0x1561, "JMicron", "JMS561U"},
    {0x152d, 0x2329, "JMicron", "JM20329"},
    {0x152d, 0x2338, "JMicron", "JM20337"},
    {0x152d, 0x2339, "JMicron", "JM20339"},
    {0x152d, 0x2509, "JMicron", "JMS539/JMS551"},
    {0x152d, 0x2551, "JMicron", "JMS551"},
    {0x152d, 0x2566, "JMicron", "JMS566"},
    {0x152d, 0x2590, "JMicron", "JMS567"},
    {0x152d, 0x3562, "JMicron", "JMS567"},
    {0x152d, 0x3569, "JMicron", "JMS566"},
    {0x174c, 0x1153, "ASMedia", "ASM1153"},
    {0x174c, 0x2362, "ASMedia", "ASM2362"},
    {0x174c, 0x5106, "ASMedia", "ASM1051"},
    {0x174c, 0x5136, "ASMedia", "ASM1053"},
    {0x174c, 0x51d6, "ASMedia", "ASM1051W"},
    {0x174c, 0x55aa, "ASMedia", "ASM1051E/ASM1053E/ASM1153/ASM1153E"},
    {0x1e3d, 0x2093, "Chipsbank", "CBM209x"},
    {0x1f75, 0x0888, "Innostor", "IS888"},
    {0x1f75, 0x0902, "Innostor", "IS902"},
    {0x2109, 0x0700, "VIA Labs", "VL700"},
    {0x2109, 0x0701, "VIA Labs", "VL701"},
};

// The first element named `name`, or nullptr.
const Variant *named(const PropertyValue &value, const QString &name)
{
    for (const Variant &element : value)
        if (element.name == name)
            return &element;
    return nullptr;
}

std::optional<quint16> readId(Interfaces::Generic &node, const QString &property)
{
    const PropertyValue value = node.read(property);
    if (isMissing(value) || value.first().kind != Variant::Integer || value.first().integer > 0xFFFF)
        return std::nullopt;
    return quint16(value.first().integer);
}

// bcdDevice as the node gives it: an integer, or the text of sysfs (hex digits).
std::optional<QString> readRelease(Interfaces::Generic &node)
{
    const Variant *element = named(node.read(QStringLiteral("FIRMWARE")), QStringLiteral("USB_FIRMWARE"));
    if (!element)
        return std::nullopt;
    if (element->kind == Variant::Integer)
        return element->integer <= 0xFFFF ? std::optional(bcdRelease(quint16(element->integer))) : std::nullopt;
    if (element->kind != Variant::Text)
        return std::nullopt;
    const QString text = element->text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const uint bcd = text.toUInt(&ok, 16);
    if (ok && text.size() <= 4)
        return bcdRelease(quint16(bcd));
    return text; // already written out, e.g. "1.00"
}
} // namespace

const UsbBridge *findUsbBridge(quint16 vendorId, quint16 productId)
{
    for (const UsbBridge &bridge : bridges)
        if (bridge.vendorId == vendorId && bridge.productId == productId)
            return &bridge;
    return nullptr;
}

QString bcdRelease(quint16 bcd)
{
    return QStringLiteral("%1.%2").arg(bcd >> 8, 0, 16).arg(bcd & 0xFF, 2, 16, QLatin1Char('0'));
}

UsbControllerInfo getUsbControllerInfo(const QString &path)
{
    using namespace Services::Nodes;
    UsbControllerInfo info;
    Ref<Node> nodeRef = Services::Filesystem::Client::Nodes::open(path);
    Ref<Provider> provider = nodeRef ? Provider::create(nodeRef, 0) : nullptr;
    Ref<Interfaces::Generic> node = provider ? Providers::Generic::create(provider) : nullptr;
    if (!node)
        return info;
    const std::optional<quint16> vendorId = readId(*node, QStringLiteral("USB_ID_VENDOR"));
    const std::optional<quint16> productId = readId(*node, QStringLiteral("USB_ID_PRODUCT"));
    const UsbBridge *bridge = vendorId && productId ? findUsbBridge(*vendorId, *productId) : nullptr;
    if (!bridge)
        return info;
    info.vendor = QString::fromLatin1(bridge->vendor);
    info.name = QString::fromLatin1(bridge->chip);
    info.firmware = readRelease(*node);
    return info;
}

} // namespace Libraries::Disks::Utils
