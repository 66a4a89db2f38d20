// The disk as a row of segments: partitions, extended partitions with their
// logical ones, and the unallocated ranges around them, in disk order. The map
// above the Partitions tab and both report outputs show this one computation.
#pragma once
#include <QJsonArray>
#include <QList>
#include <QString>

namespace Libraries::Disks::PartMan {
class PartitionManager;
}

namespace Applications::DriveScope::Model {

struct LayoutSegment {
    enum Kind { Partition, Free, Extended };

    Kind kind = Free;
    quint64 start = 0;   // first block
    quint64 end = 0;     // last block, inclusive
    bool inside = false; // lies within an extended partition
    // The partition's place in the table, so its group in the tab is index + 1; -1 for free space.
    int index = -1;
    quint32 number = 0; // as the table counts; 0 for free space
    QString name;       // the partition's name, else its file system's label; may be empty
    QString fsType;     // short file system name ("ext4", "vfat"); empty when none was found
    QString fsName;     // the tab's name of it ("FAT32"); empty when none was found
    QString typeName;   // the partition type's name; empty for a file system without table
    quint64 bytes = 0;

    bool operator==(const LayoutSegment &other) const = default;
};

struct PartitionLayout {
    quint64 blockSize = 0;
    // Disk order; an extended partition is followed by the segments inside it.
    QList<LayoutSegment> segments;
    // Why there are no segments when the table could not be read; empty otherwise.
    QString reason;

    static PartitionLayout fromTable(const Libraries::Disks::PartMan::PartitionManager &table);
    static PartitionLayout unreadable(const QString &reason);

    // One line: "1 MiB free | 1: EFI 512 MiB vfat | 2: extended 1 GiB [5: 1 GiB ext4] | 12 GiB free";
    // the reason when unreadable, "none" without a table.
    QString summary() const;
    // [{"start", "end", "kind": partition/free/extended, "number": null for free space}]
    QJsonArray toJson() const;

    bool operator==(const PartitionLayout &other) const = default;
};

// "512 MiB", "1.5 GiB", "1023 KiB": binary units, rounded down so that free space is never overstated.
QString sizeText(quint64 bytes);

} // namespace Applications::DriveScope::Model
