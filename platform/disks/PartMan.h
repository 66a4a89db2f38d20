// Our partition manager: reads a drive's partition table (MBR with its extended
// chain, GPT with its backup, APM, or a file system without table) through the
// read-only block interface of its node, and probes each partition's file system.
#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include "platform/Nodes.h"

namespace Libraries::Disks::PartMan {

// One partition as the table describes it, plus what the file system probe found.
// A plain record: it never reads the disk.
class Partition {
public:
    // Where an entry comes from. Kinds 2 to 5 are MBR-style entries with CHS addresses.
    enum Kind : int {
        KindGpt = 1,         // an entry of the GPT entry array
        KindMbrPrimary = 2,  // one of the four MBR entries
        KindMbrExtended = 3, // an MBR entry that holds the chain of logical partitions
        KindMbrLogical = 4,  // a logical partition, found in an extended boot record
        KindMbrHybrid = 5,   // an entry of the protective or hybrid MBR next to a GPT
        KindApm = 6,         // an entry of an Apple partition map
        KindVolume = 7,      // the whole disk, holding a file system without table
    };

    int kind() const { return m_kind; }
    // 1-based number as the table counts it (GPT entry slot, MBR slot, 5… for logicals).
    quint32 number() const { return m_number; }
    QString name() const { return m_name; } // null when the table has no name field
    // GPT type GUID; for MBR-style entries the MBR type wrapped by uuidFromLegacyType().
    QUuid typeUUID() const { return m_type; }
    QUuid uniqueGUID() const { return m_unique; }
    quint64 start() const { return m_start; }           // in blocks
    quint64 size() const { return m_size; }             // in blocks; 0 for an entry with end before start
    quint64 attributes() const { return m_attributes; } // GPT attribute bits
    bool bootable() const { return m_bootable; }        // MBR boot flag 0x80
    // The three CHS bytes of an MBR entry as stored (head, sector|cyl high, cyl low),
    // byte 0 in bits 0-7; 0 for entries without CHS.
    quint32 chsStart() const { return m_chsStart; }
    quint32 chsEnd() const { return m_chsEnd; }
    quint32 fsType() const { return m_fsType; }         // FilesysNames number; 0 none found
    QString volumeName() const { return m_volumeName; } // null when none was found
    QString volumeId() const { return m_volumeId; }     // null when none was found
    // False when the entry reaches beyond the end of the disk.
    bool withinDisk() const { return m_withinDisk; }

    // Splits a packed CHS value; false for values that cannot be CHS (sector 0, more than 24 bits).
    static bool splitCHS(quint32 chs, quint32 &cylinder, quint32 &head, quint32 &sector);
    // The MBR type of a GPT type GUID (0 when there is none), or the type wrapped in an MBR type UUID.
    static quint8 getLegacyTypeFromUUID(const QUuid &uuid);
    // The UUID that stands for an MBR partition type byte (see PartitionNames.cpp).
    static QUuid uuidFromLegacyType(quint8 type);
    static bool isLegacyTypeUUID(const QUuid &uuid);

private:
    friend class Reader;
    int m_kind = 0;
    quint32 m_number = 0;
    QString m_name;
    QUuid m_type;
    QUuid m_unique;
    quint64 m_start = 0;
    quint64 m_size = 0;
    quint64 m_attributes = 0;
    bool m_bootable = false;
    quint32 m_chsStart = 0;
    quint32 m_chsEnd = 0;
    quint32 m_fsType = 0;
    QString m_volumeName;
    QString m_volumeId;
    bool m_withinDisk = true;
};

class PartitionManager {
public:
    // Table types. The GPT ones are 2, 3, 7 and 8.
    enum TableType : int {
        TableNone = 0,            // no table, or a disk of no blocks
        TableDistributed = 1,     // a table that only lists a disk-spanning volume manager's area (LDM)
        TableGpt = 2,             // GPT from the primary header, protective MBR
        TableSyncedGpt = 3,       // GPT from the primary header, hybrid MBR mirroring some entries
        TableMbr = 4,             // MBR with primary partitions only
        TableSuperfloppy = 5,     // a file system on the whole disk
        TableMbrExtended = 6,     // MBR with an extended partition and its logical partitions
        TableGptBackup = 7,       // GPT from the backup header (primary damaged), protective MBR
        TableSyncedGptBackup = 8, // the same with a hybrid MBR
        TableApm = 9,             // Apple partition map
    };
    enum Flags : quint32 {
        NoFilesystemProbe = 0x1, // table only: no file system types, names or ids
    };

    // Reads the whole table and probes the file systems now, under the shared lock.
    // Null on failure with Error::get() set: no storage (BadArguments), an unusable
    // block size or a GPT whose both copies are damaged (BadData), the device held
    // exclusively (AccessDenied), or the first block unreadable (the storage's error).
    // A null lockable means nobody else can hold the device; the blocks are read anyway.
    static Ref<PartitionManager> create(const Ref<Interfaces::Storage> &storage,
                                        const Ref<Interfaces::Generic> &generic,
                                        const Ref<Interfaces::Lockable> &lockable, quint32 flags);

    int tableType() const { return m_tableType; }
    quint32 partitionCount() const { return quint32(m_partitions.size()); }
    Ref<Partition> partition(quint32 index) const; // null when out of range
    quint32 mbrDiskSignature() const { return m_mbrSignature; }
    QUuid gptDiskGuid() const { return m_gptGuid; }
    quint32 gptEntryCount() const { return m_gptEntryCount; }
    quint32 gptEntrySize() const { return m_gptEntrySize; }
    quint64 gptHeaderLba() const { return m_gptHeaderLba; } // the header in use
    // The blocks the GPT header in use lets partitions take; 0 for other tables.
    quint64 gptFirstUsable() const { return m_gptFirstUsable; }
    quint64 gptLastUsable() const { return m_gptLastUsable; }
    quint64 blockSize() const { return m_blockSize; }
    quint64 blockCount() const { return m_blockCount; }
    // The entries of the protective or hybrid MBR of a GPT disk (kind 5), 0xEE ones included.
    quint32 mbrPartitionCount() const { return quint32(m_mbrEntries.size()); }
    Ref<Partition> mbrPartition(quint32 index) const;
    // Problems met while reading that did not stop it (loops, entries past the end…).
    QStringList warnings() const { return m_warnings; }

private:
    friend class Reader;
    int m_tableType = TableNone;
    QList<Ref<Partition>> m_partitions;
    QList<Ref<Partition>> m_mbrEntries;
    quint32 m_mbrSignature = 0;
    QUuid m_gptGuid;
    quint32 m_gptEntryCount = 0;
    quint32 m_gptEntrySize = 0;
    quint64 m_gptHeaderLba = 0;
    quint64 m_gptFirstUsable = 0;
    quint64 m_gptLastUsable = 0;
    quint64 m_blockSize = 0;
    quint64 m_blockCount = 0;
    QStringList m_warnings;
    Ref<Interfaces::Generic> m_generic;
};

// Names of partition types.
class PartitionNames {
public:
    // The name of a GPT type GUID or of an MBR type UUID; "Unknown" for others.
    // With `withId` the GUID or "0x" type is appended in parentheses.
    static QString UUIDtoName(const QUuid &uuid, bool withId);
    static QString mbrTypeName(quint8 type); // "Unknown" for types without a name
};

// The CRC-32 of GPT headers and entry arrays (IEEE 802.3, reflected).
quint32 crc32(const void *data, size_t size, quint32 crc = 0);

} // namespace Libraries::Disks::PartMan
