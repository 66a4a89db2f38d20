// Texts read from sysfs and uevents: numbers, the cached IDENTIFY as hex words,
// SD/MMC registers as hex digits and their fields, PCI addresses, sysfs paths,
// hot-plug events, and the partition-table signature in the first two blocks.
// The first byte chooses which reader gets the rest.
#include "FuzzSupport.h"
#include "platform/linux/Commands.h"
#include "platform/linux/Discovery.h"
#include "platform/linux/Hotplug.h"
#include "platform/linux/Reader.h"
#include "platform/linux/Registers.h"

using namespace Services::Nodes::Linux;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    Fuzz::Cursor in(data, size);
    const quint8 choice = in.byte();
    const QByteArray raw = in.rest();
    const QString text = QString::fromUtf8(raw);
    size_t sum = 0;
    switch (choice % 6) {
    case 0:
        sum += size_t(parseNumber(text).value_or(1)) + parseNumber(text, 16).value_or(2) +
               parseNumber(text, 10).value_or(3);
        break;
    case 1: {
        const QByteArray id = Commands::identifyFromText(text);
        if (!id.isNull() && id.size() != 512)
            __builtin_trap(); // the cached IDENTIFY is 256 words or nothing
        sum += size_t(id.size());
        break;
    }
    case 2: {
        for (int n : {16, 8}) {
            const QByteArray reg = Registers::registerBytes(text, n);
            if (!reg.isNull() && reg.size() != n)
                __builtin_trap();
            sum += size_t(Registers::cardTransferKhz(reg, true) + Registers::cardTransferKhz(reg, false));
            sum += size_t(Registers::sdCardType(reg).size() + Registers::sdVersion(reg).size());
            sum += size_t(Registers::mmcCbx(reg).size() + Registers::mmcReadToWriteFactor(reg));
            sum +=
                size_t(Registers::mmcVersion(reg, std::nullopt).size() + Registers::mmcVersion(reg, raw.size()).size());
        }
        // Raw register bytes of any length and any bit range.
        const int hi = raw.isEmpty() ? 0 : qint8(raw[0]);
        const int lo = raw.size() < 2 ? 0 : qint8(raw[1]);
        sum += Registers::registerBits(raw, hi, lo) + Registers::registerBits(raw, 127, 0);
        break;
    }
    case 3: {
        const auto address = Registers::parsePciAddress(text);
        if (address) {
            const auto again = Registers::parsePciAddress(Registers::pciAddressText(*address));
            if (!again || again->segment != address->segment || again->bus != address->bus ||
                again->device != address->device || again->function != address->function)
                __builtin_trap(); // an address survives being written and read again
        }
        sum += size_t(pciFunctionOf(text).size());
        break;
    }
    case 4: {
        const QStringList parts = text.split(QLatin1Char('\n'));
        const auto part = [&](int i) { return i < parts.size() ? parts.at(i) : QString(); };
        sum += hotplugEventType(part(0), part(1), part(2), part(3));
        sum += hotplugEventType(QString(), part(1), part(2), part(3));
        break;
    }
    default: {
        const qsizetype half = raw.size() / 2;
        const auto table = Registers::detectPartitionTable(raw.left(half), raw.mid(half));
        sum += size_t(table.type.size() + table.signature.size());
        break;
    }
    }
    Fuzz::keep(sum);
    return 0;
}
