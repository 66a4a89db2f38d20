// USB tab: device descriptor rows, the bridge controller behind the device,
// and every interface with its alternate settings.
#include "model/USB.h"

#include <map>

#include "model/UsbSwitch.h"
#include "platform/I18n.h"
#include "platform/NumberParse.h"
#include "platform/disks/UsbBridges.h"

namespace Applications::DriveScope::Model {

namespace {
void text(Group::GroupRecord &g, const QString &label, const PropertyValue &v)
{
    g.setString(label, v);
}
void hexadecimal(Group::GroupRecord &g, const QString &label, const PropertyValue &v)
{
    g.setNumber(label, v, NumberFormat::hex());
}

void setClassRows(Group::GroupRecord &g, const UsbClassTriple &triple)
{
    const struct {
        const char *key;
        const char *fallback;
        quint32 flag;
        quint64 value;
    } rows[] = {
        {"usb.class", "CLASS", UsbClassTriple::ClassValid, triple.usbClass},
        {"usb.subclass", "SUBCLASS", UsbClassTriple::SubclassValid, triple.usbSubclass},
        {"usb.protocol", "PROTOCOL", UsbClassTriple::ProtocolValid, triple.usbProtocol},
    };
    for (const auto &row : rows) {
        const QString label = trKey(row.key, row.fallback);
        if (triple.flags & row.flag)
            g.setValue(label, QVariant(qulonglong(row.value)));
        else
            g.setNumber(label, PropertyValue());
    }
}

// Manufacturer or product: the name text, then " (1a2bh)" from the id.
void setNamedIdRow(Group::GroupRecord &g, const QString &label, const PropertyValue &name, const PropertyValue &id)
{
    const bool hasName = !name.isEmpty() && name.first().kind == Variant::Text;
    const bool hasId = !id.isEmpty() && id.first().kind == Variant::Integer;
    QString text = hasName ? name.first().text : placeholder(trKey("gen.text.unavailable", "UNAVAILABLE"));
    if (hasId)
        text += QStringLiteral(" (%1h)").arg(quint32(id.first().integer), 4, 16, QLatin1Char(' '));
    g.setValue(label, text, !hasName && !hasId ? Group::Look::Dimmed : Group::Look::Plain);
}

// "USB_IFC_CSP_i<n>_a<m>": interface n, alternate setting m.
bool parseInterfaceName(const QString &name, quint64 &interface, quint64 &alternate)
{
    const QString prefix = QStringLiteral("USB_IFC_CSP_");
    if (!name.startsWith(prefix))
        return false;
    const QString rest = name.mid(prefix.size());
    const int split = rest.indexOf(QLatin1Char('_'));
    if (split < 0)
        return false;
    const QString first = rest.left(split);
    const QString second = rest.mid(split + 1);
    if (first.size() < 2 || !first.startsWith(QLatin1Char('i')) || second.size() < 2 ||
        !second.startsWith(QLatin1Char('a')))
        return false;
    return StrConv::toUnsigned(first.mid(1), interface) && StrConv::toUnsigned(second.mid(1), alternate);
}
} // namespace

UsbClassTriple UsbClassTriple::fromText(const QString &text)
{
    UsbClassTriple triple;
    // At most three parts: anything after the second ':' belongs to the third.
    QStringList parts;
    const int first = text.indexOf(QLatin1Char(':'));
    const int second = first < 0 ? -1 : text.indexOf(QLatin1Char(':'), first + 1);
    if (first < 0)
        parts = {text};
    else if (second < 0)
        parts = {text.left(first), text.mid(first + 1)};
    else
        parts = {text.left(first), text.mid(first + 1, second - first - 1), text.mid(second + 1)};
    quint64 *fields[] = {&triple.usbClass, &triple.usbSubclass, &triple.usbProtocol};
    for (int i = 0; i < 3 && i < parts.size(); ++i)
        if (StrConv::toUnsigned(parts[i], *fields[i]))
            triple.flags |= 1u << i;
    return triple;
}

USB::USB(const Ref<Interfaces::Generic> &node, const QString &path, QObject *parent)
    : Group(parent), m_node(node), m_path(path)
{
    setNode(node);
    const auto read = [this](const char *property) {
        return m_node ? m_node->read(QString::fromLatin1(property)) : PropertyValue();
    };

    GroupRecord &dev = group(trKey("main.grid.text.devinfo", "DEVICE INFORMATION"));
    dev.setNamedString(trKey("quill.gen.text.firmware", "FIRMWARE"), QStringLiteral("USB_FIRMWARE"), read("FIRMWARE"));
    dev.setNamedString(trKey("quill.gen.text.serial", "SERIAL"), QStringLiteral("USB_SERIAL"), read("SERIAL"));
    const PropertyValue vendorId = read("USB_ID_VENDOR");
    const PropertyValue productId = read("USB_ID_PRODUCT");
    const QString manufacturerLabel = trKey("usb.manufacturer", "MANUFACTURER");
    const QString productLabel = trKey("usb.product", "PRODUCT");
    setNamedIdRow(dev, manufacturerLabel, read("USB_MANUFACTURER"), vendorId);
    setNamedIdRow(dev, productLabel, read("USB_PRODUCT"), productId);
    // The names lsusb prints beside the ids, as tooltips of their rows.
    const auto id = [](const PropertyValue &v) {
        return !v.isEmpty() && v.first().kind == Variant::Integer && v.first().integer <= 0xFFFF
                   ? int(v.first().integer)
                   : -1;
    };
    using Bus = Services::Nodes::Backend::IdBus;
    const Services::Nodes::Backend &backend = Services::Nodes::Backend::instance();
    if (id(vendorId) >= 0)
        dev.setDetail(manufacturerLabel, backend.hardwareName(Bus::Usb, quint16(id(vendorId))));
    if (id(vendorId) >= 0 && id(productId) >= 0)
        dev.setDetail(productLabel, backend.hardwareName(Bus::Usb, quint16(id(vendorId)), id(productId)));
    setFormatted(dev, trKey("quill.gen.text.version", "VERSION"), QStringLiteral("USB_VERSION"), hexadecimal);
    setFormatted(dev, trKey("usb.configurations", "CONFIGURATIONS"), QStringLiteral("USB_CONFIGURATIONS"), hexadecimal);
    setFormatted(dev, trKey("usb.conn.cur", "CUR CONNECTION"), QStringLiteral("USB_CONNECTION"), text);
    setFormatted(dev, trKey("usb.conn.max", "MAX CONNECTION"), QStringLiteral("USB_CONNECTION_MAX"), text);
    setFormatted(dev, trKey("usb.bos.uuid", "BOS UUID"), QStringLiteral("USB_BOS_UUID"), text);
    const PropertyValue deviceClass = read("USB_DEV_CSP");
    if (!isMissing(deviceClass) && deviceClass.first().kind == Variant::Text) {
        setClassRows(dev, UsbClassTriple::fromText(deviceClass.first().text));
    } else {
        dev.setDimmedValue(trKey("usb.class", "CLASS"), notAvailableOnPlatform());
        dev.setDimmedValue(trKey("usb.subclass", "SUBCLASS"), notAvailableOnPlatform());
        dev.setDimmedValue(trKey("usb.protocol", "PROTOCOL"), notAvailableOnPlatform());
    }

    GroupRecord &ctrl = group(trKey("usb.ctrl", "CONTROLLER INFO"));
    const QString vendorLabel = trKey("quill.gen.text.vendor", "VENDOR");
    const QString nameLabel = trKey("quill.gen.text.model", "NAME");
    const QString firmwareLabel = trKey("quill.gen.text.firmware", "FIRMWARE");
    const QString flashLabel = trKey("usb.ctrl.flashid", "FLASH ID");
    const auto allDimmed = [&](const QString &text) {
        for (const QString &label : {vendorLabel, nameLabel, firmwareLabel, flashLabel})
            ctrl.setDimmedValue(label, text);
    };
    if (!usbControllerInfoEnabled()) {
        allDimmed(placeholder(trKey("main.grid.text.disabled.bootarg", "DISABLED BY BOOT ARG")));
    } else {
        const Libraries::Disks::Utils::UsbControllerInfo info = Libraries::Disks::Utils::getUsbControllerInfo(path);
        if (!info.vendor && !info.name && !info.firmware && !info.flashId) {
            allDimmed(placeholder(trKey("gen.text.unavailable", "NOT AVAILABLE")));
        } else {
            const auto textValue = [](const std::optional<QString> &t) {
                return t ? PropertyValue{Variant::ofText(*t)} : PropertyValue();
            };
            ctrl.setString(vendorLabel, textValue(info.vendor));
            ctrl.setString(nameLabel, textValue(info.name));
            ctrl.setString(firmwareLabel, textValue(info.firmware));
            ctrl.setString(flashLabel,
                           textValue(info.flashId ? std::optional(QString::fromLatin1(info.flashId->toHex().toUpper()))
                                                  : std::nullopt));
        }
    }

    const PropertyValue interfaces = read("USB_IFC_CSP");
    const QString countLabel = trKey("usb.interface.count", "INTERFACES");
    if (isMissing(interfaces)) {
        dev.setDimmedValue(countLabel, notAvailableOnPlatform());
        return;
    }
    std::map<quint64, std::map<quint64, UsbClassTriple>> table;
    for (const Variant &element : interfaces) {
        quint64 interface = 0, alternate = 0;
        if (!parseInterfaceName(element.name, interface, alternate))
            continue;
        const QString classText = element.kind == Variant::Integer ? QString::number(element.integer) : element.text;
        table[interface].try_emplace(alternate, UsbClassTriple::fromText(classText)); // the first one wins
    }
    dev.setValue(countLabel, QVariant(qulonglong(table.size())));
    for (const auto &[interface, alternates] : table) {
        GroupRecord &ifc = appendGroup(trKey("usb.interface.idx", "INTERFACE %1").arg(interface));
        ifc.setValue(trKey("usb.alternative.count", "ALTERNATIVES"), QVariant(qulonglong(alternates.size())));
        for (const auto &[alternate, triple] : alternates)
            setClassRows(appendGroup(trKey("usb.alternative.idx", "ALTERNATIVE %1").arg(alternate)), triple);
    }
}

USB::~USB() = default;

} // namespace Applications::DriveScope::Model
