// The order of the ATA tab's sections and the value texts that several of
// their rows share.
#include "model/ata/Sections.h"

#include <QStringList>

namespace Applications::DriveScope::Model::Identify {

std::span<const Section> sections()
{
    static const Section all[] = {
        {"General information", "ata.id.hdr.geninf", always(), generalRows},
        {"Disk geometry", "ata.id.hdr.diskgeom", always(), geometryRows},
        {"Capabilities", "ata.id.hdr.cap", always(), capabilityRows},
        {"SATA capabilities", "ata.id.hdr.satacap", from(8), sataRows},
        {"Commands", "ata.id.hdr.cmd", from(3), commandRows},
        {"Feature sets", "ata.id.hdr.features", from(3), featureRows},
        {"SCT Command Transport", "ata.id.hdr.sct", from(8), sctRows},
        {"Write-Read-Verify", "ata.id.hdr.wrverify", from(8), writeReadVerifyRows},
        {"Read/Write Multiple", "ata.id.hdr.rwmultiple", always(), multipleRows},
        {"NV Cache", "ata.id.hdr.nvcache", from(8), nvCacheRows},
        {"Mode support", "ata.id.hdr.modes", always(), modeRows},
        {"DOWNLOAD MICROCODE command", "ata.id.hdr.dlmicode", from(8), microcodeRows},
        {"Security status", "ata.id.hdr.sec", from(3), securityRows},
        {"Power & Acoustic Management", "ata.id.hdr.apmaam", from(4), powerRows},
        {"CompactFlash", "ata.id.hdr.cfa", cfaOnly(), cfaRows},
        {"Streaming", "ata.id.hdr.strm", fromIf(7, 84, 4), streamingRows},
        {"Timings", "ata.id.hdr.timing", always(), timingRows},
    };
    return all;
}

namespace {

bool transportUnset(quint16 w222)
{
    return w222 == 0 || w222 == 0xFFFF;
}

struct TransportVersion {
    const char *text;
    const char *key;
};

// w222:0-1 of a parallel transport.
constexpr TransportVersion parallelVersions[] = {
    {"ATA8-APT", "ata.id.ata8.w222.b0.b12_0.b0"},
    {"ATA/ATAPI-7", "ata.id.ata8.w222.b0.b12_0.b1"},
};

// w222:0-9 of a serial transport.
constexpr TransportVersion serialVersions[] = {
    {"ATA8-AST", "ata.id.ata8.w222.b0.b12_1.b0"},
    {"SATA 1.0a", "ata.id.ata8.w222.b0.b12_1.b1"},
    {"SATA II: Extensions", "ata.id.ata8.w222.b0.b12_1.b2"},
    {"SATA Rev 2.5", "ata.id.ata8.w222.b0.b12_1.b3"},
    {"SATA Rev 2.6", "ata.id.ata8.w222.b0.b12_1.b4"},
    {"SATA Rev 3.0", "ata.id.ata8.w222.b0.b12_1.b5"},
    {"SATA Rev 3.1", "ata.id.ata8.w222.b0.b12_1.b6"},
    {"SATA Rev 3.2", "ata.id.ata8.w222.b0.b12_1.b7"},
    {"SATA Rev 3.3", "ata.id.ata8.w222.b0.b12_1.b8"},
    {"SATA Rev 3.4", "ata.id.ata8.w222.b0.b12_1.b9"},
};

template <std::size_t N> QStringList versionList(quint16 bits, const TransportVersion (&names)[N], quint16 otherMask)
{
    QStringList list;
    for (std::size_t b = 0; b < N; ++b)
        if (bits & (1u << b))
            list.append(tr(names[b].text, names[b].key));
    if (bits & otherMask)
        list.append(tr("Other (%1)", "ata.id.ata8.w222.b0.other").arg(hexText(bits & otherMask, 4)));
    return list;
}

} // namespace

QString transportTypeText(const Words &id)
{
    const quint16 w222 = id.w(222);
    if (transportUnset(w222))
        return na();
    switch (const int type = w222 >> 12) {
    case 0:
        return tr("Parallel", "ata.id.ata8.w222.b12.0");
    case 1:
        return tr("Serial", "ata.id.ata8.w222.b12.1");
    case 0xE:
        return tr("PCIe", "ata.id.ata8.w222.b12.E");
    default:
        return unknownX(QString::number(type));
    }
}

QString transportVersionText(const Words &id)
{
    const quint16 w222 = id.w(222);
    if (transportUnset(w222))
        return na();
    const quint16 bits = w222 & 0xFFF;
    switch (w222 >> 12) {
    case 0:
        return versionList(bits, parallelVersions, 0xFFC).join(QLatin1Char('\n'));
    case 1:
        return versionList(bits, serialVersions, 0xC00).join(QLatin1Char('\n'));
    case 0xE:
        return tr("Other (%1)", "ata.id.ata8.w222.b0.other").arg(hexText(bits, 4));
    default:
        return unknownX(hexText(bits, 4));
    }
}

QString worldWideNameText(const Words &id)
{
    const quint64 w108 = id.w(108), w109 = id.w(109), w110 = id.w(110), w111 = id.w(111);
    // NAA 5: a 24-bit IEEE OUI followed by a 36-bit vendor serial.
    if ((w108 & 0xF000) == 0x5000) {
        const quint64 oui = ((w108 & 0xFFF) << 12) | (w109 >> 4);
        const quint64 serial = ((w109 & 0xF) << 32) | (w110 << 16) | w111;
        return tr("IEEE %1 %2", "ata.id.ata7.w108.ieee").arg(hexText(oui, 6), hexText(serial, 9));
    }
    if ((w108 | w109 | w110 | w111) == 0)
        return QString();
    return tr("Unknown (%1 %2 %3 %4)", "ata.id.ata7.w108.unknown")
        .arg(hexText(w108, 4), hexText(w109, 4), hexText(w110, 4), hexText(w111, 4));
}

} // namespace Applications::DriveScope::Model::Identify
