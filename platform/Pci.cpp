#include "platform/Pci.h"

#include "platform/Nodes.h"

namespace Services::PCI::Library::Utils {

namespace {
// Hexadecimal digits only, between minDigits and maxDigits of them.
bool hexField(const QString &text, int minDigits, int maxDigits, quint32 &value)
{
    if (text.size() < minDigits || text.size() > maxDigits)
        return false;
    quint32 result = 0;
    for (QChar c : text) {
        int digit;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digit = c.unicode() - '0';
        else if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            digit = c.unicode() - 'a' + 10;
        else if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            digit = c.unicode() - 'A' + 10;
        else
            return false;
        result = result * 16 + quint32(digit);
    }
    value = result;
    return true;
}
} // namespace

bool strToAddr(const QString &text, Services::PCI::Definitions::Address &address)
{
    const QString trimmed = text.trimmed();
    const int dot = trimmed.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QStringList parts = trimmed.left(dot).split(QLatin1Char(':'));
    if (parts.size() != 2 && parts.size() != 3)
        return false;
    quint32 segment = 0, bus = 0, device = 0, function = 0;
    if (parts.size() == 3 && !hexField(parts[0], 1, 8, segment))
        return false;
    if (!hexField(parts[parts.size() - 2], 1, 2, bus) || !hexField(parts.last(), 1, 2, device) || device > 0x1F)
        return false;
    if (!hexField(trimmed.mid(dot + 1), 1, 1, function) || function > 7)
        return false;
    address.segment = segment;
    address.bus = quint8(bus);
    address.device = quint8(device);
    address.function = quint8(function);
    return true;
}

QString addrToStr(const Services::PCI::Definitions::Address &address)
{
    return QStringLiteral("%1:%2:%3.%4")
        .arg(address.segment, 4, 16, QLatin1Char('0'))
        .arg(address.bus, 2, 16, QLatin1Char('0'))
        .arg(address.device, 2, 16, QLatin1Char('0'))
        .arg(address.function, 1, 16);
}

QString nodeForAddr(const Services::PCI::Definitions::Address &address)
{
    return QStringLiteral("/devices/pci/") + addrToStr(address);
}

bool busFolderExists()
{
    return Services::Nodes::Backend::instance().pciBusExists();
}

} // namespace Services::PCI::Library::Utils
