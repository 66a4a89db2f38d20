// Rows of the first three sections of the ATA tab: general information, disk
// geometry and capabilities.
#include "model/ata/Sections.h"
#include "model/ata/Standard.h"

#include <QLocale>

namespace Applications::DriveScope::Model::Identify {

namespace {

// Codes of small enumerated fields, with the word that names an unknown one.
struct Code {
    quint16 value;
    const char *text;
    const char *key;
};

template <std::size_t N> QVariant codeText(quint16 v, const Code (&codes)[N], const QString &unknown)
{
    for (const Code &c : codes)
        if (c.value == v)
            return c.key ? tr(c.text, c.key) : na();
    return unknownX(unknown);
}

constexpr Code bufferTypes[] = {
    {0, "n/a", nullptr},
    {1, "single ported", "ata.id.ata1.w20.1"},
    {2, "dual ported", "ata.id.ata1.w20.2"},
    {3, "dual ported with read cache", "ata.id.ata1.w20.3"},
};

constexpr Code formFactors[] = {
    {0, "n/a", nullptr},
    {1, "5.12 inch", "ata.id.ata8.w168.b0.1"},
    {2, "3.5 inch", "ata.id.ata8.w168.b0.2"},
    {3, "2.5 inch", "ata.id.ata8.w168.b0.3"},
    {4, "1.8 inch", "ata.id.ata8.w168.b0.4"},
    {5, "< 1.8 inch", "ata.id.ata8.w168.b0.5"},
};

// A current geometry value is only valid when w53:0 says so.
QVariant currentGeometry(const Context &c, int word)
{
    const QString n = numberText(c.id.w(word));
    return c.id.bit(53, 0) ? n : n + QStringLiteral(" (?)");
}

constexpr When logicalSectors(int word = -1, int bit = 0)
{
    return {.minLevel = 7, .word = word, .bit = bit, .test = [](const Context &c) {
                return (c.id.w(106) & 0xC000) == 0x4000;
            }};
}

constexpr Row general[] = {
    {"Major version number", "ata.id.ata3.w80",
     odd([](const Context &c) -> QVariant { return majorVersionText(c.id, c.cfa); })},
    {"Minor version number", "ata.id.ata3.w81",
     odd([](const Context &c) -> QVariant { return minorVersionText(c.id, c.cfa); })},
    {"Transport Type", "ata.id.ata8.w222.b12",
     odd([](const Context &c) -> QVariant { return transportTypeText(c.id); }), from(8)},
    {"Major Transport Version", "ata.id.ata8.w222.b0",
     odd([](const Context &c) -> QVariant { return transportVersionText(c.id); }), from(8)},
    {"Minor Transport Version", "ata.id.ata8.w223", odd([](const Context &c) -> QVariant {
         const quint16 v = c.id.w(223);
         if (v == 0 || v == 0xFFFF)
             return na();
         if (v == 0x21)
             return tr("ATA8-AST T13 Project D1697 Version 0b", "ata.id.ata8.w223.0x21");
         if (v == 0x51)
             return tr("ATA-AST T13 Project D1697 Version 1", "ata.id.ata8.w223.0x51");
         return unknownX(hexText(v, 4));
     }),
     from(8)},
    {"Firmware revision", "ata.id.ata1.w23", text(23, 4, false)},
    {"Model number", "ata.id.ata1.w27", text(27, 20, true)},
    {"Serial number", "ata.id.ata1.w10", text(10, 10, true)},
    // w84:2 says whether w176-205 hold a media serial number.
    {"Media serial number", "ata.id.ata6.w176",
     odd([](const Context &c) -> QVariant { return c.id.bit(84, 2) ? c.id.text(176, 30).trimmed() : na(); }), from(6)},
    {"World Wide Name", "ata.id.ata7.w108", odd([](const Context &c) -> QVariant { return worldWideNameText(c.id); }),
     fromIf(7, 84, 8)},
    {"Additional Product identifier", "ata.id.acs2.w170", text(170, 4, false), from(9)},
    {"Transfer Rate", "ata.id.ata1.w0.b8", odd([](const Context &c) -> QVariant {
         switch (c.id.w(0) & 0x700) {
         case 0x400:
             return tr("> 10 Mb/s", "ata.id.ata1.w0.b8.4");
         case 0x200:
             return tr("> 5 Mb/s & <= 10 Mb/s", "ata.id.ata1.w0.b8.2");
         case 0x100:
             return tr("<= 5 Mb/s", "ata.id.ata1.w0.b8.1");
         }
         return na();
     })},
    {"Removable media", "ata.id.ata1.w0.b7", Y(0, 7)},
    {"Response incomplete", "ata.id.ata5.w0.b2", Y(0, 2), from(5)},
    {"Buffer type", "ata.id.ata1.w20",
     odd([](const Context &c) -> QVariant { return codeText(c.id.w(20), bufferTypes, QString::number(c.id.w(20))); })},
    {"Buffer size", "ata.id.ata1.w21", odd([](const Context &c) -> QVariant {
         if (c.id.w(20) == 0)
             return na();
         const quint16 w21 = c.id.w(21);
         return QStringLiteral("%1 * 512 = %2").arg(numberText(w21), QLocale().toString(int(w21) * 512));
     })},
    {"Vendor specific bytes on READ/WRITE LONG commands", "ata.id.ata1.w22",
     odd([](const Context &c) -> QVariant { return c.id.w(22) ? numberText(c.id.w(22)) : na(); })},
    // The queue depth field is five bits wide (w75:0-4): NCQ drives report 31.
    {"Maximum queue depth", "ata.id.ata5.w75.b0",
     odd([](const Context &c) -> QVariant { return int(c.id.w(75) & 0x1F) + 1; }), from(6)},
    {"Free-fall Control Sensitivity", "ata.id.ata8.w53.b8", odd([](const Context &c) -> QVariant {
         const quint16 w53 = c.id.w(53);
         return w53 > 255 ? QString::number(w53 >> 8) : tr("Vendor recommended value", "ata.id.gen.vendorrec");
     }),
     from(8)},
    {"Nominal form factor", "ata.id.ata8.w168.b0", odd([](const Context &c) -> QVariant {
         const quint16 v = c.id.w(168) & 0xF;
         return codeText(v, formFactors, QString::number(v));
     }),
     from(8)},
    {"Norminal media rotation rate", "ata.id.ata8.w217", odd([](const Context &c) -> QVariant {
         const quint16 v = c.id.w(217);
         if (v == 0 || v == 0xFFFF)
             return na();
         if (v == 1)
             return tr("Fixed media", "ata.id.ata8.w217.1");
         if (v <= 0x400)
             return unknownX(hexText(v, 4));
         return QStringLiteral("%1 rpm").arg(numberText(v));
     }),
     from(8)},
    {"Max # of 512 Byte blocks per DATA SET MANAGEMENT command", "ata.id.acs2.w105", integer(word(105)), from(9)},
    // w255: signature 0xA5 in the low byte, checksum in the high byte.
    {"Checksum", "ata.id.ata5.w255.b8", odd([](const Context &c) -> QVariant {
         const quint16 v = c.id.w(255);
         return (v & 0xFF) == 0xA5 ? hexText(v >> 8, 2) : na();
     }),
     from(5)},
};

constexpr Row geometry[] = {
    {"Capacity in sectors", "ata.id.ata1.w57", number(words(57, 2))},
    {"Number of user addressable sectors (28-bit)", "ata.id.ata1.w60", number(words(60, 2))},
    // 48-bit addressing (w83:10) came with ATA/ATAPI-6, so level-6 drives have it too.
    {"Number of user addressable sectors (48-bit)", "ata.id.ata6.w100",
     odd([](const Context &c) -> QVariant { return c.id.bit(83, 10) ? numberText(c.id.wide(100, 4)) : na(); }),
     from(6)},
    {"Cylinders", "ata.id.ata1.w1", number(word(1))},
    {"Heads", "ata.id.ata1.w3", number(word(3))},
    {"Bytes per unformatted track", "ata.id.ata1.w4", number(word(4))},
    {"Bytes per unformatted sector", "ata.id.ata1.w5", number(word(5))},
    {"Sectors per track", "ata.id.ata1.w6", number(word(6))},
    {"Current Cylinders", "ata.id.ata1.w54", odd([](const Context &c) { return currentGeometry(c, 54); }), below(6)},
    {"Current Heads", "ata.id.ata1.w55", odd([](const Context &c) { return currentGeometry(c, 55); }), below(6)},
    {"Current Sectors", "ata.id.ata1.w56", odd([](const Context &c) { return currentGeometry(c, 56); }), below(6)},
    // CompactFlash keeps the card's sector count in w7 (high) and w8 (low).
    {"Number of sectors per card", "ata.id.cfa.w7",
     odd([](const Context &c) -> QVariant { return numberText(quint32(c.id.w(7)) << 16 | c.id.w(8)); }), cfaOnly()},
    {"Multiple logical sectors per physical sector", "ata.id.ata7.w106.b13", Y(106, 13), logicalSectors()},
    {"Logical sector > 256 words", "ata.id.ata7.w106.b12", Y(106, 12), logicalSectors()},
    {"Words per logical sector", "ata.id.ata7.w117", number(words(117, 2)), logicalSectors(106, 12)},
    {"Logical sectors per physical sector", "ata.id.ata7.w106.b0",
     odd([](const Context &c) -> QVariant { return numberText(quint64(1) << (c.id.w(106) & 0xF)); }),
     logicalSectors(106, 13)},
    {"Logical sector offset", "ata.id.ata8.w209.b0", number(word(209)), from(8)},
};

constexpr Row capabilities[] = {
    {"Format speed tolerance gap required", "ata.id.ata1.w0.b14", Y(0, 14)},
    {"Track offset option available", "ata.id.ata1.w0.b13", Y(0, 13)},
    {"Data strobe offset option available", "ata.id.ata1.w0.b12", Y(0, 12)},
    {"Rotational speed tolerance > 0.5 %", "ata.id.ata1.w0.b11", Y(0, 11)},
    {"Spindle moter control option implemented", "ata.id.ata1.w0.b5", Y(0, 5)},
    {"Head switch time > 15 \u00B5s", "ata.id.ata1.w0.b4", Y(0, 4)},
    {"not MFM encoded", "ata.id.ata1.w0.b3", Y(0, 3)},
    {"soft sectored", "ata.id.ata1.w0.b2", Y(0, 2)},
    {"hard sectored", "ata.id.ata1.w0.b1", Y(0, 1)},
    {"Write Cache", "ata.id.ata4.w82.b5", SE(82, 5, 85, 5), from(4)},
    {"Look-Ahead", "ata.id.ata4.w82.b6", SE(82, 6, 85, 6), from(4)},
    {"Release Interrupt", "ata.id.ata4.w82.b7", SE(82, 7, 85, 7), from(4)},
    {"SERVICE Interrupt", "ata.id.ata4.w82.b8", SE(82, 8, 85, 8), from(4)},
    {"S.M.A.R.T. error logging", "ata.id.ata6.w84.b0", S(84, 0), from(6)},
    {"S.M.A.R.T. self-test", "ata.id.ata6.w84.b1", S(84, 1), from(6)},
    {"Long Physical Sector Alignment Error Reporting Control", "ata.id.acs2.w69.b13", S(69, 13), from(9)},
    {"Deterministic Read after Trim", "ata.id.acs2.w69.b14", S(69, 14), from(9)},
    {"CFast Specification", "ata.id.acs2.w69.b15", S(69, 15), from(9)},
    {"Read Zero after Trim", "ata.id.acs2.w69.b5", S(69, 5), from(9)},
    {"Can peform double word I/O", "ata.id.ata1.w48", Y(48, 0), below(8)},
    {"Standby timer values", "ata.id.ata2.w49.b13",
     choice(49, 13, "supported", "ata.id.ata2.w49.b13.1", "managed by device", "ata.id.ata2.w49.b13.0")},
    {"Has minimum standby timer value", "ata.id.ata4.w50.b0", Y(50, 0), from(4)},
    {"IORDY supported", "ata.id.ata2.w49.b11",
     choice(49, 11, "yes", "ata.id.gen.yes", "unknown", "ata.id.gen.unknown")},
    {"IORDY might be disabled", "ata.id.ata2.w49.b10", Y(49, 10)},
    {"LBA support", "ata.id.ata1.w49.b9", Y(49, 9)},
    {"DMA support", "ata.id.ata1.w49.b8", Y(49, 8)},
};

} // namespace

const std::span<const Row> generalRows = general;
const std::span<const Row> geometryRows = geometry;
const std::span<const Row> capabilityRows = capabilities;

} // namespace Applications::DriveScope::Model::Identify
