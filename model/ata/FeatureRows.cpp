// Rows of the SATA, command, feature-set and status sections of the ATA tab.
#include "model/ata/Sections.h"

namespace Applications::DriveScope::Model::Identify {

namespace {

constexpr const char *gen1 = "SATA Gen1 Signaling Speed (1.5 Gb/s)";
constexpr const char *gen1Key = "ata.id.ata8.w76.b1";
constexpr const char *gen2 = "SATA Gen2 Signaling Speed (3.0 Gb/s)";
constexpr const char *gen2Key = "ata.id.ata8.w76.b2";
constexpr const char *gen3 = "SATA Gen3 Signaling Speed (6.0 Gb/s)";
constexpr const char *gen3Key = "ata.id.acs4.w76.b3";

constexpr Row sata[] = {
    {gen1, gen1Key, S(76, 1)},
    {gen2, gen2Key, S(76, 2)},
    {gen3, gen3Key, S(76, 3), from(11)},
    // w77:1-3 is the speed the link runs at now.
    {"Negotiated SATA Signaling Speed", "ata.id.acs4.w77.b1", odd([](const Context &c) -> QVariant {
         switch ((c.id.w(77) >> 1) & 7) {
         case 0:
             return na();
         case 1:
             return tr(gen1, gen1Key);
         case 2:
             return tr(gen2, gen2Key);
         }
         return tr(gen3, gen3Key);
     }),
     from(11)},
    {"NCQ feature set", "ata.id.ata8.w76.b8", S(76, 8)},
    {"Receipt of host initiated power management requests", "ata.id.ata8.w76.b9", S(76, 9)},
    {"Phy Event Counters", "ata.id.ata8.w76.b10", S(76, 10)},
    {"Unload while NCQ commands outstanding", "ata.id.acs2.w76.b11", S(76, 11), from(9)},
    {"NQC priority information", "ata.id.acs2.w76.b12", S(76, 12), from(9)},
    {"Host Automatic Partial to Slumber transitions", "ata.id.acs4.w76.b13", S(76, 13), from(11)},
    {"Device Automatic Partial to Slumber transitions", "ata.id.acs4.w76.b14", S(76, 14), from(11)},
    {"READ LOG DMA EXT as equivalent to READ LOG EXT", "ata.id.acs4.w76.b15", S(76, 15), from(11)},
    {"NCQ Streaming", "ata.id.acs4.w77.b4", S(77, 4), from(11)},
    {"NCQ NON-DATA Command", "ata.id.acs4.w77.b5", S(77, 5), from(11)},
    {"RECEIVE/SEND FPDMA QUEUED Commands", "ata.id.acs4.w77.b6", S(77, 6), from(11)},
    {"DevSleep to ReducedPwrState", "ata.id.acs4.w77.b7", S(77, 7), from(11)},
    {"Power Disable feature always enabled", "ata.id.acs4.w77.b8", Y(77, 8), from(11)},
    {"Non-zero buffer offests", "ata.id.ata8.w78.b1", SE(78, 1, 79, 1)},
    {"DMA Setup auto activation", "ata.id.ata8.w78.b2", SE(78, 2, 79, 2)},
    {"Power Management initiation", "ata.id.ata8.w78.b3", SE(78, 3, 79, 3)},
    {"in-order data delivery", "ata.id.ata8.w78.b4", SE(78, 4, 79, 4)},
    {"Hardware Feature Control", "ata.id.acs4.w78.b5", SE(78, 5, 79, 5), from(11)},
    {"Software Settings Preservation", "ata.id.ata8.w78.b6", SE(78, 6, 79, 6)},
    {"NCQ Autosense", "ata.id.acs4.w78.b7", S(78, 7), from(11)},
    {"Automatic Partial to Slumber transitions", "ata.id.acs4.w79.b7",
     choice(79, 7, "enabled", "ata.id.gen.enabl", "-", "ata.id.gen.notenabl"), from(11)},
    {"Device Sleep feature", "ata.id.acs4.w78.b8", SE(78, 8, 79, 8), from(11)},
    {"Hybrid Information", "ata.id.acs4.w78.b9", SE(78, 9, 79, 9), from(11)},
    {"Rebuild Assist feature", "ata.id.acs4.w78.b11", SE(78, 11, 79, 11), from(11)},
    {"Power Disable feature", "ata.id.acs4.w78.b12", SE(78, 12, 79, 10), from(11)},
};

constexpr Row commands[] = {
    {"DEVICE RESET command", "ata.id.ata4.w82.b9", S(82, 9), from(4)},
    {"WRITE BUFFER command", "ata.id.ata4.w82.b12", S(82, 12), from(4)},
    {"READ BUFFER command", "ata.id.ata4.w82.b13", S(82, 13), from(4)},
    {"NOP command", "ata.id.ata4.w82.b14", S(82, 14), from(4)},
    {"DOWNLOAD MICROCODE command", "ata.id.ata4.w83.b0", S(83, 0), from(4)},
    {"READ/WRITE DMA QUEUED command", "ata.id.ata4.w83.b1", S(83, 1), from(4)},
    {"SET FEATURES subcommand required for spinup", "ata.id.ata5.w83.b6", Y(83, 6), from(5)},
    {"SET MAX security extension", "ata.id.ata5.w83.b8", SE(83, 8, 86, 8), fromBelow(5, 11)},
    {"FLUSH CACHE command", "ata.id.ata6.w83.b12", S(83, 12), from(6)},
    {"FLUSH CACHE EXT command", "ata.id.ata6.w83.b13", S(83, 13), from(6)},
    {"WRITE DMA/MULTIPLE FUA EXT commands", "ata.id.ata7.w84.b6", S(84, 6), from(7)},
    {"WRITE DMA QUEUED FUA EXT command", "ata.id.ata7.w84.b7", S(84, 7), from(7)},
    {"URG bit for READ STREAM (DMA) EXT", "ata.id.ata7.w84.b9", S(84, 9), from(7)},
    {"URG bit for WRITE STREAM (DMA) EXT", "ata.id.ata7.w84.b10", S(84, 10), from(7)},
    {"IDLE IMMEDIATE & UNLOAD FEATURE commands", "ata.id.ata7.w84.b13", S(84, 13), from(7)},
    {"WRITE UNCORRECTABLE EXT command", "ata.id.ata8.w119.b2", S(119, 2), from(8)},
    {"READ/WRITE LOG DMA EXT commands", "ata.id.ata8.w119.b3", S(119, 3), from(8)},
    {"DOWNLOAD MICROCODE command with mode 3", "ata.id.ata8.w119.b4", S(119, 4), from(8)},
    {"CRYPTO SCRAMBLE EXT command", "ata.id.acs2.w59.b13", S(59, 13), from(9)},
    {"OVERWRITE EXT command", "ata.id.acs2.w59.b14", S(59, 14), from(9)},
    {"BLOCK ERASE EXT command", "ata.id.acs2.w59.b15", S(59, 15), from(9)},
    // w69:6 set means the optional 28-bit commands are NOT supported.
    {"Optional ATA 28-bit commands", "ata.id.acs2.w69.b6", notS(69, 6), from(9)},
    {"DOWNLOAD MICROCODE DMA command", "ata.id.acs2.w69.b8", S(69, 8), from(9)},
    {"SET MAX SET PASSWORD DMA and SET MAX UNLOCK DMA commands", "ata.id.acs2.w69.b9", S(69, 9), from(9)},
    {"WRITE BUFFER DMA command", "ata.id.acs2.w69.b10", S(69, 10), from(9)},
    {"READ BUFFER DMA command", "ata.id.acs2.w69.b11", S(69, 11), from(9)},
    {"DEVICE CONFIGURATION IDENTIFY/SET DMA commands", "ata.id.acs2.w69.b12", S(69, 12), from(9)},
    {"Trim bit in DATA SET MANAGEMENT", "ata.id.acs2.w169.b0", S(169, 0), from(9)},
};

// ATA-3 had no enabled bits (w85) for S.M.A.R.T. and security yet.
constexpr Row features[] = {
    {"S.M.A.R.T. Feature Set", "ata.id.ata3.w82.b0", S(82, 0), below(4)},
    {"S.M.A.R.T. Feature Set", "ata.id.ata3.w82.b0", SE(82, 0, 85, 0), from(4)},
    {"Security Feature Set", "ata.id.ata3.w82.b1", S(82, 1), below(4)},
    {"Security Feature Set", "ata.id.ata3.w82.b1", SE(82, 1, 85, 1), from(4)},
    {"Removeable Feature Set", "ata.id.ata3.w82.b2", S(82, 2)},
    {"Power Management Feature Set", "ata.id.ata3.w82.b3", S(82, 3)},
    {"PACKET Command Feature Set", "ata.id.ata4.w82.b4", S(82, 4), from(4)},
    {"Host Protected Area Feature Set", "ata.id.ata4.w82.b10", S(82, 10), from(4)},
    {"Advanced power management feature set", "ata.id.ata4.w83.b3", SE(83, 3, 86, 3), from(4)},
    {"Removable Media Status Notification feature set", "ata.id.ata4.w83.b4", SE(83, 4, 86, 4), from(4)},
    {"Power-Up In Standby feature set", "ata.id.ata5.w83.b5", SE(83, 5, 86, 5), from(5)},
    {"Automatic Acoustic Management feature set", "ata.id.ata6.w83.b9", SE(83, 9, 86, 9), from(6)},
    {"48-bit Address feature set", "ata.id.ata6.w83.b10", S(83, 10), from(6)},
    {"Device Configuration Overlay feature set", "ata.id.ata6.w83.b11", S(83, 11), from(6)},
    {"Media Card Pass Through feature set", "ata.id.ata6.w84.b3", S(84, 3), from(6)},
    {"General Purpose Logging feature set", "ata.id.ata6.w84.b5", S(84, 5), from(6)},
    {"Streaming", "ata.id.ata7.w84.b4", SE(84, 4, 87, 4), from(7)},
    {"Trusted Computing feature set", "ata.id.ata8.w48.b0", S(48, 0), from(8)},
    {"Write-Read-Verify feature set", "ata.id.ata8.w119.b1", SE(119, 1, 120, 1), from(8)},
    {"Free-fall Control feature set", "ata.id.ata8.w119.b5", SE(119, 5, 120, 5), from(8)},
    {"Sanitize feature set", "ata.id.acs2.w59.b12", S(59, 12), from(9)},
    {"Extended Status Reporting feature set", "ata.id.acs2.w119.b6", SE(119, 6, 120, 6), from(9)},
    {"Extended Power Condititons feature set", "ata.id.acs2.w119.b7", SE(119, 7, 120, 7), from(9)},
    {"Accessible Max Address Configuration feature set", "ata.id.acs4.w119.b8", S(119, 8), from(10)},
    {"DSN feature set", "ata.id.acs4.w119.b9", SE(119, 9, 120, 9), from(10)},
};

constexpr Row sct[] = {
    {"Supported", "ata.id.ata8.w206.b0", Y(206, 0)},
    {"Read/Write Long command", "ata.id.ata8.w206.b1", S(206, 1)},
    {"Error Recovery command", "ata.id.ata8.w206.b2", S(206, 2)},
    {"Write Same command", "ata.id.ata8.w206.b3", S(206, 3)},
    {"Error Recovery Control command", "ata.id.ata8.w206.b4", S(206, 4)},
    {"Data Tables command", "ata.id.ata8.w206.b5", S(206, 5)},
};

constexpr Row writeReadVerify[] = {
    {"Current mode", "ata.id.ata8.w220.b0", integer(bits(220, 0, 0xF))},
    {"Sector Count Mode 2", "ata.id.ata8.w212", raw(words(212, 2))},
    {"Sector Count Mode 3", "ata.id.ata8.w210", raw(words(210, 2))},
};

constexpr Row multiple[] = {
    {"Maximum number of sectors per interrupt", "ata.id.ata2.w47", integer(bits(47, 0, 0xFF))},
    // w59:8 says whether the low byte holds a valid setting.
    {"Current number of sectors per interrupt", "ata.id.ata1.w59.b0",
     odd([](const Context &c) -> QVariant { return c.id.bit(59, 8) ? QString::number(c.id.w(59) & 0xFF) : na(); })},
};

constexpr Row nvCache[] = {
    {"Power Mode", "ata.id.ata8.w214.b0", SE(214, 0, 214, 1)},
    {"Enabled", "ata.id.ata8.w214.b4", Y(214, 4)},
    {"Version", "ata.id.ata8.w214.b12", integer(bits(214, 12, 0xF))},
    {"Power Mode version", "ata.id.ata8.w214.b8", integer(bits(214, 8, 0xF))},
    {"Cache Size in Logical Blocks", "ata.id.ata8.w215", number(words(215, 2))},
    {"Estimated time to spin up", "ata.id.ata8.w219.b0", number(bits(219, 0, 0xFF), "%1 s")},
};

constexpr Row microcode[] = {
    {"Minimum number of 512-byte data blocks for mode 3", "ata.id.ata8.w234", number(word(234))},
    {"Maximum number of 512-byte data blocks for mode 3", "ata.id.ata8.w235", number(word(235))},
};

constexpr Row security[] = {
    {"Supported", "ata.id.ata3.w128.b0", Y(128, 0)},
    {"Enabled", "ata.id.ata3.w128.b1", Y(128, 1)},
    {"Locked", "ata.id.ata3.w128.b2", Y(128, 2)},
    {"Frozen", "ata.id.ata3.w128.b3", Y(128, 3)},
    {"Count expired", "ata.id.ata3.w128.b4", Y(128, 4)},
    {"Level", "ata.id.ata3.w128.b5",
     choice(128, 8, "maximum", "ata.id.ata3.w128.b5.1", "high", "ata.id.ata3.w128.b5.0")},
    {"Enhanced security erase", "ata.id.ata3.w128.b9", S(128, 5), from(4)},
    {"Master password revision code", "ata.id.ata5.w92", odd([](const Context &c) -> QVariant {
         const quint16 v = c.id.w(92);
         return v == 0 || v == 0xFFFF ? na() : hexText(v, 4);
     }),
     from(5)},
};

constexpr Row power[] = {
    // w91:8-15 are reserved; drives fill them (4080h is level 128), so only the low byte is the level.
    {"Current APM value", "ata.id.ata4.w91", integer(bits(91, 0, 0xFF))},
    {"Recommended AAM value", "ata.id.ata5.w94.b8", integer(bits(94, 8, 0xFF)), from(5)},
    {"Current AAM value", "ata.id.ata5.w94.b0", integer(bits(94, 0, 0xFF)), from(5)},
    {"Inter-seek delay for ISO-7779 acoustic testing", "ata.id.ata7.w107", number(word(107), "%1 ms"), from(7)},
};

constexpr Row streaming[] = {
    {"Minimum Request Size", "ata.id.ata7.w95", number(word(95))},
    {"Transfer Time - DMA", "ata.id.ata7.w96", number(word(96))},
    {"Transfer Time - PIO", "ata.id.ata7.w104", number(word(104))},
    {"Performance Granularity", "ata.id.ata7.w98", number(words(98, 2))},
    {"Access Latency - DMA & PIO", "ata.id.ata7.w97", number(word(97))},
};

} // namespace

const std::span<const Row> sataRows = sata;
const std::span<const Row> commandRows = commands;
const std::span<const Row> featureRows = features;
const std::span<const Row> sctRows = sct;
const std::span<const Row> writeReadVerifyRows = writeReadVerify;
const std::span<const Row> multipleRows = multiple;
const std::span<const Row> nvCacheRows = nvCache;
const std::span<const Row> microcodeRows = microcode;
const std::span<const Row> securityRows = security;
const std::span<const Row> powerRows = power;
const std::span<const Row> streamingRows = streaming;

} // namespace Applications::DriveScope::Model::Identify
