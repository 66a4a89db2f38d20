// ATA standard level and version texts of the IDENTIFY block.
#include "model/ata/Standard.h"

#include "model/ata/Identify.h"
#include "model/ata/Rules.h"
#include "platform/Log.h"

#include <algorithm>
#include <iterator>

namespace Applications::DriveScope::Model::Identify {

namespace {

const int logChannel = SysLogFilter::reg("ATA Model");

struct MinorVersion {
    quint16 code;
    int level;
    const char *text;
    const char *key;
};

// w81, ascending.
constexpr MinorVersion minorVersions[] = {
    {0x0001, 1, "ATA (ATA-1) X3T0.2 781D prior to revision 4", "ata.id.ata3.w81.0x0001"},
    {0x0002, 1, "ATA-1 published, ANSI X3.221-1994", "ata.id.ata3.w81.0x0002"},
    {0x0003, 1, "ATA (ATA-1) X3T9.2 781D revision 4", "ata.id.ata3.w81.0x0003"},
    {0x0004, 2, "ATA-2 published, ANSI X3.279-1996", "ata.id.ata3.w81.0x0004"},
    {0x0005, 2, "ATA-2 X3T10 948D prior to revision 2k", "ata.id.ata3.w81.0x0005"},
    {0x0006, 3, "ATA-3 X3T10 2008D revision 1", "ata.id.ata3.w81.0x0006"},
    {0x0007, 2, "ATA-2 X3T10 948D revision 2k", "ata.id.ata3.w81.0x0007"},
    {0x0008, 3, "ATA-3 X3T10 2008D revision 0", "ata.id.ata3.w81.0x0008"},
    {0x0009, 2, "ATA-2 X3T10 948D revision 3", "ata.id.ata3.w81.0x0009"},
    {0x000A, 3, "ATA-3 published, ANSI X3.298-1997", "ata.id.ata3.w81.0x000A"},
    {0x000B, 3, "ATA-3 X3T10 2008D revision 6", "ata.id.ata3.w81.0x000B"},
    {0x000C, 3, "ATA-3 X3T13 2008D revision 7 and 7a", "ata.id.ata3.w81.0x000C"},
    {0x000D, 4, "ATA/ATAPI-4 X3T13 1153D revision 6", "ata.id.ata3.w81.0x000D"},
    {0x000E, 4, "ATA/ATAPI-4 T13 1153D revision 13", "ata.id.ata3.w81.0x000E"},
    {0x000F, 4, "ATA/ATAPI-4 X3T13 1153D revision 7", "ata.id.ata3.w81.0x000F"},
    {0x0010, 4, "ATA/ATAPI-4 T13 1153D revision 18", "ata.id.ata3.w81.0x0010"},
    {0x0011, 4, "ATA/ATAPI-4 T13 1153D revision 15", "ata.id.ata3.w81.0x0011"},
    {0x0012, 4, "ATA/ATAPI-4 published, ANSI NCITS 317-1998", "ata.id.ata3.w81.0x0012"},
    {0x0013, 5, "ATA/ATAPI-5 T13 1321D revision 3", "ata.id.ata3.w81.0x0013"},
    {0x0014, 4, "ATA/ATAPI-4 T13 1153D revision 14", "ata.id.ata3.w81.0x0014"},
    {0x0015, 5, "ATA/ATAPI-5 T13 1321D revision 1", "ata.id.ata3.w81.0x0015"},
    {0x0016, 5, "ATA/ATAPI-5 published, ANSI NCITS 340-2000", "ata.id.ata3.w81.0x0016"},
    {0x0017, 4, "ATA/ATAPI-4 T13 1153D revision 17", "ata.id.ata3.w81.0x0017"},
    {0x0018, 6, "ATA/ATAPI-6 T13 1410D revision 0", "ata.id.ata3.w81.0x0018"},
    {0x0019, 6, "ATA/ATAPI-6 T13 1410D revision 3a", "ata.id.ata3.w81.0x0019"},
    {0x001A, 7, "ATA/ATAPI-7 T13 1532D revision 1", "ata.id.ata3.w81.0x001A"},
    {0x001B, 6, "ATA/ATAPI-6 T13 1410D revision 2", "ata.id.ata3.w81.0x001B"},
    {0x001C, 6, "ATA/ATAPI-6 T13 1410D revision 1", "ata.id.ata3.w81.0x001C"},
    {0x001D, 7, "ATA/ATAPI-7 published, ANSI INCITS 397-2005", "ata.id.ata3.w81.0x001D"},
    {0x001E, 7, "ATA/ATAPI-7 T13 1532D revision 0", "ata.id.ata3.w81.0x001E"},
    {0x0021, 7, "ATA/ATAPI-7 T13 1532D revision 4a", "ata.id.ata3.w81.0x0021"},
    {0x0022, 6, "ATA/ATAPI-6 published, ANSI INCITS 361-2002", "ata.id.ata3.w81.0x0022"},
    {0x0027, 8, "ATA8-ACS version 3c", "ata.id.ata3.w81.0x0027"},
    {0x0028, 8, "ATA8-ACS version 6", "ata.id.ata3.w81.0x0028"},
    {0x0029, 8, "ATA8-ACS version 4", "ata.id.ata3.w81.0x0029"},
    {0x0031, 9, "ACS-2 Revision 2", "ata.id.ata3.w81.0x0031"},
    {0x0033, 8, "ATA8-ACS version 3e", "ata.id.ata3.w81.0x0033"},
    {0x0039, 8, "ATA8-ACS version 4c", "ata.id.ata3.w81.0x0039"},
    {0x0042, 8, "ATA8-ACS version 3f", "ata.id.ata3.w81.0x0042"},
    {0x0052, 8, "ATA8-ACS version 3b", "ata.id.ata3.w81.0x0052"},
    {0x005E, 11, "ACS-4 Revision 5", "ata.id.ata3.w81.0x005E"},
    {0x006D, 10, "ACS-3 Revision 5", "ata.id.ata3.w81.0x006D"},
    {0x0082, 9, "ACS-2 published, ANSI INCITS 482-2012", "ata.id.ata3.w81.0x0082"},
    {0x0107, 8, "ATA8-ACS version 2d", "ata.id.ata3.w81.0x0107"},
    {0x010A, 10, "ACS-3 published, ANSI INCITS 522-2014", "ata.id.ata3.w81.0x010A"},
    {0x0110, 9, "ACS-2 Revision 3", "ata.id.ata3.w81.0x0110"},
    {0x011B, 10, "ACS-3 Revision 4", "ata.id.ata3.w81.0x011B"},
};

const MinorVersion *findMinor(quint16 w81)
{
    const auto it = std::lower_bound(std::begin(minorVersions), std::end(minorVersions), w81,
                                     [](const MinorVersion &m, quint16 v) { return m.code < v; });
    return it != std::end(minorVersions) && it->code == w81 ? it : nullptr;
}

bool unset(quint16 v)
{
    return v == 0 || v == 0xFFFF;
}

// Bits outside 1..11 of w80 name revisions newer than this table knows.
constexpr quint16 reservedMajorBits = 0xF001;

int highestMajorBit(quint16 w80)
{
    for (int b = 11; b >= 1; --b)
        if (w80 & (1u << b))
            return b;
    return 0;
}

} // namespace

int majorLevel(quint16 w80)
{
    if (unset(w80))
        return 0;
    if (w80 & reservedMajorBits) {
        SysLog::write(logChannel, LogLevel::Routine, QStringLiteral("Newer version than highest supported"));
        return 12;
    }
    return highestMajorBit(w80);
}

int minorLevel(quint16 w81)
{
    const MinorVersion *m = findMinor(w81);
    return m ? m->level : 0;
}

int standardLevel(const Words &id)
{
    const int major = majorLevel(id.w(80));
    const int minor = minorLevel(id.w(81));
    if (major != 0)
        return minor != 0 && major < minor ? minor : major;
    return minor != 0 ? minor : 2;
}

QString levelText(int level)
{
    if (level >= 1 && level <= 3)
        return tr("ATA-%1", "ata.id.std.atax").arg(level);
    if (level >= 4 && level <= 7)
        return tr("ATA/ATAPI-%1", "ata.id.std.ataatapix").arg(level);
    if (level == 8)
        return tr("ATA-8 ACS", "ata.id.std.ata8");
    if (level >= 9 && level <= 11)
        return tr("ATA-8 ACS-%1", "ata.id.std.acsx").arg(level - 7);
    if (level == 12)
        return tr("> %1", "ata.id.std.newer").arg(tr("ATA-8 ACS-%1", "ata.id.std.acsx").arg(4));
    return tr("Unknown", "ata.id.std.unknown");
}

QString majorVersionText(const Words &id, bool cfa)
{
    const quint16 w80 = id.w(80);
    if (cfa)
        return na();
    if (unset(w80))
        return unset(id.w(81)) ? tr("ATA-1 or ATA-2", "ata.id.std.ata1or2") : na();
    if (w80 & reservedMajorBits)
        return levelText(12);
    // Without a bit in 1..11 there is no revision to name.
    const int b = highestMajorBit(w80);
    return b ? levelText(b) : na();
}

QString minorVersionText(const Words &id, bool cfa)
{
    const quint16 w81 = id.w(81);
    if (cfa || unset(w81))
        return na();
    if (const MinorVersion *m = findMinor(w81))
        return tr(m->text, m->key);
    return unknownX(hexText(w81, 4));
}

} // namespace Applications::DriveScope::Model::Identify
