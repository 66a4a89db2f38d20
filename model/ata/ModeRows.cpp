// Rows of the transfer-mode, CompactFlash and timing sections of the ATA tab.
#include "model/ata/Sections.h"

#include <QLocale>
#include <QStringList>

#include <bit>

namespace Applications::DriveScope::Model::Identify {

namespace {

int setBits(quint16 v, int first, int last)
{
    return std::popcount(quint16((v >> first) & ((1u << (last - first + 1)) - 1)));
}

// "0, 2, 5": the numbers of the set bits first..last, counted from first.
QString modeList(quint16 v, int first, int last)
{
    QStringList modes;
    for (int b = first; b <= last; ++b)
        if (v & (1u << b))
            modes.append(QString::number(b - first));
    return modes.isEmpty() ? none() : modes.join(QStringLiteral(", "));
}

// CompactFlash advanced PIO modes 5 and 6 live in w163:0-2.
QString cfaMaxPio(const Context &c)
{
    if (!c.cfa)
        return {};
    switch (const int v = c.id.w(163) & 7) {
    case 0:
        return {};
    case 1:
        return QStringLiteral("5");
    case 2:
        return QStringLiteral("6");
    default:
        return unknownX(QString::number(v));
    }
}

int singlewordCount(const Context &c)
{
    return setBits(c.id.w(62), 0, 7);
}

int multiwordCount(const Context &c)
{
    if (c.cfa) {
        // w163:3-5 extends the multiword modes of CompactFlash to 3 and 4.
        if ((c.id.w(163) & 0x38) == 0x10)
            return 5;
        if ((c.id.w(163) & 0x38) == 0x08)
            return 4;
    }
    return setBits(c.id.w(63), 0, 2);
}

int ultraCount(const Context &c)
{
    return c.id.bit(53, 2) ? setBits(c.id.w(88), 0, 6) : 0;
}

QVariant maxMode(int count)
{
    return count > 0 ? QVariant(qulonglong(count - 1)) : QVariant(none());
}

constexpr Row modes[] = {
    {"Maximum advanced PIO mode", "ata.id.ata2.w64.b0", odd([](const Context &c) -> QVariant {
         if (const QString cfa = cfaMaxPio(c); !cfa.isEmpty())
             return cfa;
         const quint16 w64 = c.id.w(64);
         if (w64 > 3)
             return unknownX(QString::number(w64));
         return QString::number(w64 & 2 ? 4 : w64 & 1 ? 3 : 2);
     }),
     onlyIf([](const Context &c) { return c.id.bit(53, 1) || c.cfa; })},
    {"Current advanced PIO mode", "ata.id.cfa.w163.b8",
     odd([](const Context &c) -> QVariant { return numberText((c.id.w(163) & 0x1C0) == 0x40 ? 5 : 6); }),
     onlyIf([](const Context &c) {
         const int sel = c.id.w(163) & 0x1C0;
         return c.cfa && (sel == 0x40 || sel == 0x80);
     })},
    {"Maximum Singleword DMA mode supported", "ata.id.ata1.w62.b0",
     odd([](const Context &c) { return maxMode(singlewordCount(c)); })},
    {"Selected Singleword DMA modes", "ata.id.ata1.w62.b8",
     odd([](const Context &c) -> QVariant { return singlewordCount(c) ? modeList(c.id.w(62), 8, 15) : na(); })},
    {"Maximum Multiword DMA mode supported", "ata.id.ata1.w63.b0",
     odd([](const Context &c) { return maxMode(multiwordCount(c)); })},
    {"Selected Multiword DMA modes", "ata.id.ata1.w63.b8", odd([](const Context &c) -> QVariant {
         if (!multiwordCount(c))
             return na();
         QStringList selected;
         for (int b = 8; b <= 10; ++b)
             if (c.id.bit(63, b))
                 selected.append(QString::number(b - 8));
         // w163:9-11 selects the CompactFlash multiword modes beyond 2.
         if (c.cfa && (c.id.w(163) & 0xE00) == 0x200)
             selected << QStringLiteral("3");
         else if (c.cfa && (c.id.w(163) & 0xE00) == 0x400)
             selected << QStringLiteral("3") << QStringLiteral("4");
         return selected.isEmpty() ? none() : selected.join(QStringLiteral(", "));
     })},
    {"Maximum Ultra DMA mode supported", "ata.id.ata4.w88.b0",
     odd([](const Context &c) { return maxMode(ultraCount(c)); }), from(4)},
    {"Selected Ultra DMA modes", "ata.id.ata4.w88.b8",
     odd([](const Context &c) -> QVariant { return ultraCount(c) ? modeList(c.id.w(88), 8, 14) : na(); }), from(4)},
};

QString timingText(int v, const char *const (&texts)[4], const char *const (&keys)[4])
{
    return v < 4 ? tr(texts[v], keys[v]) : unknownX(QString::number(v));
}

constexpr const char *ioTimings[] = {"255 ns Cycle", "120 ns Cycle", "100 ns Cycle", "80 ns Cycle"};
constexpr const char *ioTimingKeys[] = {"ata.id.cfa.w164.b0.0", "ata.id.cfa.w164.b0.1", "ata.id.cfa.w164.b0.2",
                                        "ata.id.cfa.w164.b0.3"};
constexpr const char *memTimings[] = {"250 ns Cycle", "120 ns Cycle", "100 ns Cycle", "80 ns Cycle"};
constexpr const char *memTimingKeys[] = {"ata.id.cfa.w164.b3.0", "ata.id.cfa.w164.b3.1", "ata.id.cfa.w164.b3.2",
                                         "ata.id.cfa.w164.b3.3"};

constexpr Row cfa[] = {
    {"CFA Power Mode 1 required", "ata.id.ata5.w160.b13", Y(160, 13), ifBit(160, 15)},
    {"CFA Power Mode 1 disabled", "ata.id.ata5.w160.b12", Y(160, 12), ifBit(160, 15)},
    {"Maxmium current", "ata.id.ata5.w160.b0", number(bits(160, 0, 0xFFF), "%1 mA"), ifBit(160, 15)},
    {"Content Protection for Recordable Media", "ata.id.cfa.w162.b0", S(162, 0)},
    {"Maximum PCMCIA I/O timing mode", "ata.id.cfa.w164.b0",
     odd([](const Context &c) -> QVariant { return timingText(c.id.w(164) & 7, ioTimings, ioTimingKeys); })},
    {"Maximum memory timing mode", "ata.id.cfa.w164.b3",
     odd([](const Context &c) -> QVariant { return timingText((c.id.w(164) >> 3) & 7, memTimings, memTimingKeys); })},
};

constexpr Row timings[] = {
    {"Minimum multiword DMA transfer cycle time", "ata.id.ata2.w65", number(word(65), "%1 ns"), ifBit(53, 1)},
    {"Recommended multiword DMA transfer cycle time", "ata.id.ata2.w66", number(word(66), "%1 ns"), ifBit(53, 1)},
    {"Minimum PIO cycle time without flow control", "ata.id.ata2.w67", number(word(67), "%1 ns"), ifBit(53, 1)},
    {"Minimum PIO cycle time with flow control", "ata.id.ata2.w68", number(word(68), "%1 ns"), ifBit(53, 1)},
    {"Time required for normal security erase", "ata.id.ata4.w89",
     odd([](const Context &c) -> QVariant { return eraseTimeText(c.id.w(89), c.level); }), from(5)},
    {"Time required for enhanced security erase", "ata.id.ata4.w90",
     odd([](const Context &c) -> QVariant { return eraseTimeText(c.id.w(90), c.level); }), from(5)},
};

} // namespace

QString eraseTimeText(quint16 v, int level)
{
    // ACS-2 widened the field to 15 bits and flagged the wide form with bit 15.
    const bool extended = level >= 9 || (v & 0x8000);
    const int m = extended ? v & 0x7FFF : v & 0xFF;
    const int top = extended ? 0x7FFF : 0xFF;
    if (m == 0)
        return na();
    if (m == top)
        return QStringLiteral("> %1 min").arg(QLocale().toString((top - 1) * 2));
    return QStringLiteral("%1 min").arg(QLocale().toString(m * 2));
}

const std::span<const Row> modeRows = modes;
const std::span<const Row> cfaRows = cfa;
const std::span<const Row> timingRows = timings;

} // namespace Applications::DriveScope::Model::Identify
