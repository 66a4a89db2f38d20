// File system types of the partition manager: stable numbers, readable names,
// and the probe that finds them with libblkid on bytes read through a Storage.
#pragma once
#include <QString>
#include <functional>

#include "platform/Nodes.h"

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

// Probes `size` bytes from byte `offset` of `storage` (both multiples of its block
// size) for a file system. Over the storage's descriptor libblkid reads just what
// its probes ask for, and the bytes it read are noted on the storage. A storage
// without descriptor has the bounded pieces the probes need (head, tail, the
// blocks of FAT, exFAT and NTFS labels) read through it into a sparse memory file.
ProbeResult probeFilesystem(Interfaces::Storage &storage, quint64 offset, quint64 size);

} // namespace Libraries::Disks::PartMan
