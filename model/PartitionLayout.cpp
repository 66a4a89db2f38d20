// Segments from the partition reader's results: entries sorted by start, logical
// partitions placed in the extended partition that holds them, and every range
// of usable blocks that no entry covers counted as free space.
#include "model/PartitionLayout.h"

#include <QJsonObject>
#include <algorithm>
#include <limits>
#include <vector>

#include "platform/disks/FilesysNames.h"
#include "platform/disks/PartMan.h"

namespace Applications::DriveScope::Model {

namespace {

using namespace Libraries::Disks::PartMan;

constexpr quint64 kMaxBlock = std::numeric_limits<quint64>::max();

struct Entry {
    LayoutSegment segment;
    std::vector<Entry> children; // the logical partitions of an extended one
};

LayoutSegment segmentOf(const Partition &p, int index, quint64 blockSize)
{
    LayoutSegment s;
    s.kind = p.kind() == Partition::KindMbrExtended ? LayoutSegment::Extended : LayoutSegment::Partition;
    s.start = p.start();
    // A damaged entry may claim more blocks than a number holds.
    s.end = p.size() - 1 > kMaxBlock - p.start() ? kMaxBlock : p.start() + p.size() - 1;
    s.index = index;
    s.number = p.number();
    s.name = !p.name().isEmpty() ? p.name() : p.volumeName();
    if (p.fsType()) {
        s.fsType = FilesysNames::probeName(p.fsType());
        s.fsName = FilesysNames::FSTypeToName(p.fsType());
    }
    if (p.kind() != Partition::KindVolume)
        s.typeName = PartitionNames::UUIDtoName(p.typeUUID(), false);
    s.bytes = p.size() > kMaxBlock / blockSize ? kMaxBlock : p.size() * blockSize;
    return s;
}

LayoutSegment freeRange(quint64 first, quint64 last, bool inside, quint64 blockSize)
{
    LayoutSegment s;
    s.start = first;
    s.end = last;
    s.inside = inside;
    const quint64 blocks = last - first + 1;
    s.bytes = blocks > kMaxBlock / blockSize ? kMaxBlock : blocks * blockSize;
    return s;
}

// Appends `entries` (sorted) and the free ranges around them within [first, last].
void place(QList<LayoutSegment> &out, const std::vector<Entry> &entries, quint64 first, quint64 last, bool inside,
           quint64 blockSize)
{
    quint64 cursor = first;
    bool done = false; // the cursor went past the last block
    for (const Entry &e : entries) {
        const LayoutSegment &s = e.segment;
        if (!done && s.start > cursor && cursor <= last)
            out << freeRange(cursor, qMin(s.start - 1, last), inside, blockSize);
        out << s;
        out.last().inside = inside;
        if (s.kind == LayoutSegment::Extended)
            place(out, e.children, s.start, s.end, true, blockSize);
        // Overlapping entries leave no gap between them.
        if (s.end == kMaxBlock)
            done = true;
        else
            cursor = qMax(cursor, s.end + 1);
    }
    if (!done && cursor <= last)
        out << freeRange(cursor, last, inside, blockSize);
}

QString segmentText(const LayoutSegment &s)
{
    if (s.kind == LayoutSegment::Free)
        return sizeText(s.bytes) + QStringLiteral(" free");
    QStringList words{QStringLiteral("%1:").arg(s.number)};
    if (s.kind == LayoutSegment::Extended)
        words << QStringLiteral("extended");
    else if (!s.name.isEmpty())
        words << s.name;
    words << sizeText(s.bytes);
    if (!s.fsType.isEmpty())
        words << s.fsType;
    return words.join(QLatin1Char(' '));
}

} // namespace

QString sizeText(quint64 bytes)
{
    static const char *const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    int unit = 0;
    while (unit + 1 < int(std::size(kUnits)) && bytes >> (10 * (unit + 1)) != 0)
        ++unit;
    const QString name = QLatin1String(kUnits[unit]);
    const quint64 whole = bytes >> (10 * unit);
    if (unit == 0 || whole >= 10)
        return QStringLiteral("%1 %2").arg(whole).arg(name);
    const quint64 rest = bytes - (whole << (10 * unit));
    const quint64 tenth = (rest * 10) >> (10 * unit); // rest < 2^(10*unit) and unit <= 6: no overflow
    return tenth ? QStringLiteral("%1.%2 %3").arg(whole).arg(tenth).arg(name)
                 : QStringLiteral("%1 %2").arg(whole).arg(name);
}

PartitionLayout PartitionLayout::fromTable(const PartitionManager &table)
{
    PartitionLayout layout;
    layout.blockSize = table.blockSize();
    const quint64 count = table.blockCount();
    if (count == 0 || table.partitionCount() == 0 || layout.blockSize == 0)
        return layout;

    std::vector<Entry> top, logical;
    for (quint32 i = 0; i < table.partitionCount(); ++i) {
        const Ref<Partition> p = table.partition(i);
        // An entry of no blocks (one that ends before it starts) takes no room on the disk.
        if (!p || p->size() == 0)
            continue;
        (p->kind() == Partition::KindMbrLogical ? logical : top)
            .push_back({segmentOf(*p, int(i), layout.blockSize), {}});
    }
    auto byStart = [](const Entry &a, const Entry &b) { return a.segment.start < b.segment.start; };
    std::stable_sort(top.begin(), top.end(), byStart);
    std::stable_sort(logical.begin(), logical.end(), byStart);
    for (const Entry &l : std::as_const(logical)) {
        // A logical partition outside every extended one (a damaged chain) is shown where it lies.
        auto holder = std::find_if(top.begin(), top.end(), [&](const Entry &e) {
            return e.segment.kind == LayoutSegment::Extended && l.segment.start >= e.segment.start &&
                   l.segment.start <= e.segment.end;
        });
        if (holder != top.end())
            holder->children.push_back(l);
        else
            top.insert(std::upper_bound(top.begin(), top.end(), l, byStart), l);
    }

    // Block 0 holds an MBR; a GPT names its own usable range.
    quint64 first = table.tableType() == PartitionManager::TableSuperfloppy ? 0 : 1;
    quint64 last = count - 1;
    if (table.gptHeaderLba() != 0) {
        first = table.gptFirstUsable();
        last = qMin(table.gptLastUsable(), last);
    }
    place(layout.segments, top, first, last, false, layout.blockSize);
    return layout;
}

PartitionLayout PartitionLayout::unreadable(const QString &reason)
{
    PartitionLayout layout;
    layout.reason = reason;
    return layout;
}

QString PartitionLayout::summary() const
{
    if (segments.isEmpty())
        return reason.isEmpty() ? QStringLiteral("none") : reason;
    QStringList parts;
    bool open = false; // inside the brackets of an extended partition
    for (const LayoutSegment &s : segments) {
        if (open && !s.inside) {
            parts.last() += QLatin1Char(']');
            open = false;
        }
        const QString text = segmentText(s);
        // What lies inside an extended partition is listed in brackets after it.
        if (s.inside && !open) {
            parts.last() += QStringLiteral(" [") + text;
            open = true;
            continue;
        }
        parts << text;
    }
    if (open)
        parts.last() += QLatin1Char(']');
    return parts.join(QStringLiteral(" | "));
}

QJsonArray PartitionLayout::toJson() const
{
    static const char *const kKinds[] = {"partition", "free", "extended"};
    QJsonArray out;
    for (const LayoutSegment &s : segments) {
        out.append(
            QJsonObject{{"start", double(s.start)},
                        {"end", double(s.end)},
                        {"kind", QLatin1String(kKinds[s.kind])},
                        {"number", s.kind == LayoutSegment::Free ? QJsonValue() : QJsonValue(double(s.number))}});
    }
    return out;
}

} // namespace Applications::DriveScope::Model
