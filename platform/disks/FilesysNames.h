// File system types of the partition manager: stable numbers, readable names,
// and the probe that finds them with libblkid on bytes read through a Storage.
#pragma once
#include <QString>
#include <functional>

namespace Libraries::Disks::PartMan {

class FilesysNames {
public:
    // The readable name of a type number; "UNKNOWN" for 0 and numbers we do not know.
    static QString FSTypeToName(quint32 type);
    // The type number of a libblkid TYPE (with its VERSION for FAT); 0 when unknown.
    static quint32 typeFromProbe(const QString &blkidType, const QString &version);
    // The libblkid TYPE of a number; null when unknown.
    static QString probeName(quint32 type);
};

struct ProbeResult {
    quint32 type = 0; // 0: nothing found
    QString blkidType;
    QString version;
    QString label; // null when the file system has none
    QString uuid;  // null when the file system has none
    QString error; // why probing failed; null when it did not
};

// Reads `count` bytes at byte `offset` of the probed range into `buffer`; false on failure.
using RangeReader = std::function<bool(quint64 offset, quint64 count, char *buffer)>;

// Probes a range of `size` bytes for a file system. Only bounded pieces of the
// range are read (its head and tail, and for FAT, exFAT and NTFS the few blocks
// that hold the volume label), copied into a sparse memory file that libblkid reads.
// `blockSize` is the range's sector size; reads are multiples of it.
ProbeResult probeFilesystem(const RangeReader &read, quint64 size, quint32 blockSize);

} // namespace Libraries::Disks::PartMan
