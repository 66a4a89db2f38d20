// File system numbers and names, and the libblkid probe over a range of a storage.
#include "platform/disks/FilesysNames.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QtEndian>
#include <blkid/blkid.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/mman.h>
#include <unistd.h>

namespace Libraries::Disks::PartMan {

namespace {

// Numbers are stable: append new types at the end. The probe name is libblkid's TYPE.
struct FsType {
    quint32 number;
    const char *probe;
    const char *name;
};

const FsType kFsTypes[] = {
    {1, "vfat", "FAT12"}, // split by VERSION below
    {2, "vfat", "FAT16"},
    {3, "vfat", "FAT32"},
    {4, "exfat", "exFAT"},
    {5, "ntfs", "NTFS"},
    {6, "ext2", "ext2"},
    {7, "ext3", "ext3"},
    {8, "ext4", "ext4"},
    {9, "xfs", "XFS"},
    {10, "btrfs", "Btrfs"},
    {11, "swap", "Linux swap"},
    {12, "iso9660", "ISO 9660"},
    {13, "udf", "UDF"},
    {14, "hfs", "HFS"},
    {15, "hfsplus", "HFS+"},
    {16, "apfs", "APFS"},
    {17, "LVM2_member", "LVM2 physical volume"},
    {18, "linux_raid_member", "Linux RAID member"},
    {19, "crypto_LUKS", "LUKS"},
    {20, "ReFS", "ReFS"},
    {21, "zfs_member", "ZFS member"},
    {22, "f2fs", "F2FS"},
    {23, "jfs", "JFS"},
    {24, "reiserfs", "ReiserFS"},
    {25, "squashfs", "SquashFS"},
    {26, "BitLocker", "BitLocker"},
    {27, "erofs", "EROFS"},
    {28, "minix", "Minix"},
    {29, "nilfs2", "NILFS2"},
    {30, "bcache", "bcache"},
    {31, "vfat", "FAT"}, // FAT without a VERSION
    {32, "ext4dev", "ext4dev"},
    {33, "jbd", "ext3/ext4 journal"},
    {34, "reiser4", "Reiser4"},
    {35, "ufs", "UFS"},
    {36, "hpfs", "HPFS"},
    {37, "sysv", "System V"},
    {38, "xenix", "Xenix"},
    {39, "cramfs", "cramfs"},
    {40, "romfs", "romfs"},
    {41, "gfs", "GFS"},
    {42, "gfs2", "GFS2"},
    {43, "ocfs", "OCFS"},
    {44, "ocfs2", "OCFS2"},
    {45, "oracleasm", "Oracle ASM"},
    {46, "vxfs", "VxFS"},
    {47, "squashfs3", "SquashFS 3"},
    {48, "nss", "Novell NSS"},
    {49, "ubifs", "UBIFS"},
    {50, "bfs", "BFS"},
    {51, "VMFS", "VMFS"},
    {52, "VMFS_volume_member", "VMFS volume member"},
    {53, "befs", "BeFS"},
    {54, "mpool", "mpool"},
    {55, "zonefs", "zonefs"},
    {56, "xfs_external_log", "XFS external log"},
    {57, "exfs", "exfs"},
    {58, "swsuspend", "Suspended swap"},
    {59, "ddf_raid_member", "DDF RAID member"},
    {60, "isw_raid_member", "Intel RAID member"},
    {61, "lsi_mega_raid_member", "LSI MegaRAID member"},
    {62, "via_raid_member", "VIA RAID member"},
    {63, "silicon_medley_raid_member", "Silicon Image RAID member"},
    {64, "nvidia_raid_member", "NVIDIA RAID member"},
    {65, "promise_fasttrack_raid_member", "Promise RAID member"},
    {66, "hpt45x_raid_member", "HighPoint 45x RAID member"},
    {67, "hpt37x_raid_member", "HighPoint 37x RAID member"},
    {68, "adaptec_raid_member", "Adaptec RAID member"},
    {69, "jmicron_raid_member", "JMicron RAID member"},
    {70, "ceph_bluestore", "Ceph BlueStore"},
    {71, "drbd", "DRBD"},
    {72, "drbdmanage_control_volume", "DRBD manage control volume"},
    {73, "drbdproxy_datalog", "DRBD proxy data log"},
    {74, "LVM1_member", "LVM1 physical volume"},
    {75, "DM_snapshot_cow", "Device-mapper snapshot"},
    {76, "DM_verity_hash", "dm-verity hash"},
    {77, "DM_integrity", "dm-integrity"},
    {78, "ubi", "UBI"},
    {79, "vdo", "VDO"},
    {80, "stratis", "Stratis"},
};

// How much of a range the first probe sees: superblocks live in the first
// 576 KiB (UDF's anchor at 256 × 2048) and RAID/ZFS labels in the last 512 KiB.
constexpr quint64 kHead = 1024 * 1024;
constexpr quint64 kTail = 512 * 1024;
// Bound on each extra piece read for a volume label.
constexpr quint64 kExtraMax = 256 * 1024;

struct Piece {
    quint64 offset;
    quint64 length;
};

// The pieces beyond the head that hold the label of FAT, exFAT and NTFS: FAT's
// root directory, exFAT's root directory cluster and the NTFS $Volume record.
QList<Piece> labelPieces(const QString &type, const QByteArray &boot, quint64 size)
{
    QList<Piece> pieces;
    if (boot.size() < 512)
        return pieces;
    const auto *b = reinterpret_cast<const uchar *>(boot.constData());
    if (type == QLatin1String("vfat")) {
        const quint32 bps = qFromLittleEndian<quint16>(b + 11);
        const quint32 spc = b[13];
        const quint32 reserved = qFromLittleEndian<quint16>(b + 14);
        const quint32 fats = b[16];
        const quint32 rootEntries = qFromLittleEndian<quint16>(b + 17);
        quint32 fatSize = qFromLittleEndian<quint16>(b + 22);
        if (bps == 0 || spc == 0)
            return pieces;
        if (fatSize == 0) {
            fatSize = qFromLittleEndian<quint32>(b + 36);
            const quint32 rootCluster = qFromLittleEndian<quint32>(b + 44);
            const quint64 data = (quint64(reserved) + quint64(fats) * fatSize) * bps;
            if (rootCluster >= 2)
                pieces.append({data + quint64(rootCluster - 2) * spc * bps, quint64(spc) * bps});
            // The FAT sector with the root directory's chain.
            pieces.append({quint64(reserved) * bps + (quint64(rootCluster) * 4 / bps) * bps, bps});
        } else {
            pieces.append({(quint64(reserved) + quint64(fats) * fatSize) * bps, quint64(rootEntries) * 32});
        }
    } else if (type == QLatin1String("exfat")) {
        const quint32 fatOffset = qFromLittleEndian<quint32>(b + 80);
        const quint32 heapOffset = qFromLittleEndian<quint32>(b + 88);
        const quint32 rootCluster = qFromLittleEndian<quint32>(b + 96);
        const quint32 sectorShift = b[108];
        const quint32 clusterShift = b[109];
        if (sectorShift < 9 || sectorShift > 12 || clusterShift > 25 || rootCluster < 2)
            return pieces;
        const quint64 bps = 1ull << sectorShift;
        const quint64 cluster = bps << clusterShift;
        pieces.append({quint64(heapOffset) * bps + quint64(rootCluster - 2) * cluster, cluster});
        pieces.append({quint64(fatOffset) * bps + (quint64(rootCluster) * 4 / bps) * bps, bps});
    } else if (type == QLatin1String("ntfs")) {
        const quint32 bps = qFromLittleEndian<quint16>(b + 11);
        const quint32 spc = b[13];
        const quint64 mftCluster = qFromLittleEndian<quint64>(b + 48);
        const qint8 recordField = qint8(b[64]);
        if (bps == 0 || spc == 0)
            return pieces;
        const quint64 cluster = quint64(bps) * spc;
        const quint64 record =
            recordField < 0 ? (recordField < -31 ? 0 : 1ull << -recordField) : quint64(recordField) * cluster;
        if (record == 0 || mftCluster > size / cluster)
            return pieces;
        // Records 0 ($MFT) to 3 ($Volume).
        pieces.append({mftCluster * cluster, record * 4});
    }
    return pieces;
}

class MemFile {
public:
    MemFile() : m_fd(memfd_create("drivescope-probe", MFD_CLOEXEC)) {}
    ~MemFile()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    int fd() const { return m_fd; }
    bool write(quint64 offset, const char *data, quint64 length)
    {
        while (length > 0) {
            const ssize_t n = pwrite(m_fd, data, length, off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            offset += quint64(n);
            data += n;
            length -= quint64(n);
        }
        return true;
    }

private:
    int m_fd;
};

struct Probe {
    QString type, version, label, uuid;
    int rc = -1;
};

// Runs libblkid's file system probes; with `filter` (BLKID_FLTR_NOTIN or
// BLKID_FLTR_ONLYIN) some of them only, as `names` (null-terminated) say.
Probe runBlkid(int fd, quint64 offset, quint64 size, quint32 blockSize, int filter = 0, char **names = nullptr)
{
    Probe result;
    blkid_probe pr = blkid_new_probe();
    if (!pr)
        return result;
    if (blkid_probe_set_device(pr, fd, blkid_loff_t(offset), blkid_loff_t(size)) == 0) {
        blkid_probe_set_sectorsize(pr, blockSize);
        blkid_probe_enable_partitions(pr, 0);
        blkid_probe_enable_superblocks(pr, 1);
        blkid_probe_set_superblocks_flags(pr, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID |
                                                  BLKID_SUBLKS_VERSION);
        if (filter)
            blkid_probe_filter_superblocks_type(pr, filter, names);
        result.rc = blkid_do_safeprobe(pr);
        if (result.rc == 0) {
            const char *v = nullptr;
            size_t len = 0;
            auto get = [&](const char *name) {
                return blkid_probe_lookup_value(pr, name, &v, &len) == 0 && v ? QString::fromUtf8(v) : QString();
            };
            result.type = get("TYPE");
            result.version = get("VERSION");
            result.label = get("LABEL");
            result.uuid = get("UUID");
        }
    }
    blkid_free_probe(pr);
    return result;
}

// Reads `count` bytes at byte `offset` of the probed range into `buffer`; false on failure.
using RangeReader = std::function<bool(quint64 offset, quint64 count, char *buffer)>;

// The kernel's count of bytes this thread has read (rchar), and how many bytes
// asking for it read; nothing where /proc does not tell.
struct ReadCount {
    quint64 rchar = 0;
    quint64 own = 0;
};

std::optional<ReadCount> threadReadCount()
{
    const int fd = ::open("/proc/thread-self/io", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char text[512];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n < 7 || memcmp(text, "rchar:", 6) != 0)
        return std::nullopt;
    text[n] = '\0';
    return ReadCount{strtoull(text + 6, nullptr, 10), quint64(n)};
}

ProbeResult finish(const Probe &probe, ProbeResult result)
{
    if (probe.rc == 0) {
        result.blkidType = probe.type;
        result.version = probe.version;
        result.type = FilesysNames::typeFromProbe(probe.type, probe.version);
        result.label = probe.label;
        result.uuid = probe.uuid;
    } else if (probe.rc < 0 && probe.rc != -2 && result.error.isNull()) {
        result.error = QStringLiteral("libblkid failed");
    }
    return result;
}

ProbeResult probeCopy(const RangeReader &read, quint64 size, quint32 blockSize);

} // namespace

ProbeResult probeFilesystem(Interfaces::Storage &storage, quint64 offset, quint64 size)
{
    const quint64 bs = storage.blockSize();
    if (size == 0 || bs == 0 || bs > 65536 || offset % bs != 0)
        return {};
    const int fd = storage.descriptor();
    if (fd < 0) {
        const quint64 first = offset / bs;
        auto read = [&storage, first, bs](quint64 at, quint64 count, char *buffer) {
            return storage.read(first + at / bs, quint32(count / bs), buffer);
        };
        return probeCopy(read, size, quint32(bs));
    }
    // libblkid reads with read(2) on the descriptor: what it read is the
    // difference of this thread's count, less what reading the count took.
    // Two probes read far more than all others together: ZFS's four 256 KiB
    // labels (of ranges of 64 MiB and more) and the scan of the first 256 KiB
    // for an external XFS log. They run only where the others found nothing,
    // the log's only when the first block is not blank: each sector of a log
    // starts with a cycle number that is never 0.
    static char zfs[] = "zfs_member", xfsLog[] = "xfs_external_log";
    static char *costly[] = {zfs, xfsLog, nullptr};
    const std::optional<ReadCount> before = threadReadCount();
    Probe probe = runBlkid(fd, offset, size, quint32(bs), BLKID_FLTR_NOTIN, costly);
    if (const std::optional<ReadCount> after = threadReadCount(); before && after)
        storage.noteRead(after->rchar - qMin(after->rchar, before->rchar + before->own));
    if (probe.rc != 1)
        return finish(probe, {});
    QByteArray first(qsizetype(bs), '\0');
    const bool blank = storage.read(offset / bs, 1, first.data()) && first.count('\0') == first.size();
    static char *zfsOnly[] = {zfs, nullptr};
    const std::optional<ReadCount> again = threadReadCount();
    probe = runBlkid(fd, offset, size, quint32(bs), BLKID_FLTR_ONLYIN, blank ? zfsOnly : costly);
    if (const std::optional<ReadCount> after = threadReadCount(); again && after)
        storage.noteRead(after->rchar - qMin(after->rchar, again->rchar + again->own));
    return finish(probe, {});
}

QString FilesysNames::FSTypeToName(quint32 type)
{
    for (const FsType &t : kFsTypes)
        if (t.number == type)
            return QString::fromLatin1(t.name);
    return QStringLiteral("UNKNOWN");
}

quint32 FilesysNames::typeFromProbe(const QString &blkidType, const QString &version)
{
    if (blkidType == QLatin1String("vfat")) {
        if (version == QLatin1String("FAT12"))
            return 1;
        if (version == QLatin1String("FAT16"))
            return 2;
        if (version == QLatin1String("FAT32"))
            return 3;
        return 31;
    }
    for (const FsType &t : kFsTypes)
        if (blkidType == QLatin1String(t.probe))
            return t.number;
    return 0;
}

QString FilesysNames::probeName(quint32 type)
{
    for (const FsType &t : kFsTypes)
        if (t.number == type)
            return QString::fromLatin1(t.probe);
    return QString();
}

namespace {

// A storage without descriptor: its pieces are copied into a memory file.
ProbeResult probeCopy(const RangeReader &read, quint64 size, quint32 blockSize)
{
    ProbeResult result;
    if (size == 0 || blockSize == 0)
        return result;
    MemFile file;
    if (file.fd() < 0 || ftruncate(file.fd(), off_t(size)) != 0) {
        result.error = QStringLiteral("no memory file for probing: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return result;
    }
    auto alignDown = [&](quint64 v) { return v / blockSize * blockSize; };
    auto copy = [&](quint64 offset, quint64 length) -> bool {
        offset = alignDown(offset);
        if (offset >= size)
            return true;
        length = qMin(length, size - offset);
        length = (length + blockSize - 1) / blockSize * blockSize;
        if (offset + length > size)
            length = alignDown(size - offset);
        if (length == 0)
            return true;
        QByteArray buffer(qsizetype(length), Qt::Uninitialized);
        return read(offset, length, buffer.data()) && file.write(offset, buffer.constData(), length);
    };

    const quint64 head = qMin(size, kHead);
    if (!copy(0, head) || (size > head && !copy(size > kTail ? size - kTail : 0, kTail))) {
        result.error = QStringLiteral("read failed");
        return result;
    }
    QByteArray boot(qsizetype(qMin<quint64>(head, 4096)), '\0');
    if (pread(file.fd(), boot.data(), size_t(boot.size()), 0) != boot.size())
        boot.clear();
    Probe probe = runBlkid(file.fd(), 0, size, blockSize);
    if (probe.rc == 0) {
        const QList<Piece> pieces = labelPieces(probe.type, boot, size);
        if (!pieces.isEmpty()) {
            bool added = false;
            for (const Piece &p : pieces) {
                if (p.offset + qMin(p.length, kExtraMax) <= head)
                    continue;
                if (!copy(p.offset, qMin(p.length, kExtraMax))) {
                    result.error = QStringLiteral("read failed");
                    break;
                }
                added = true;
            }
            if (added)
                probe = runBlkid(file.fd(), 0, size, blockSize);
        }
    }
    return finish(probe, result);
}

} // namespace

} // namespace Libraries::Disks::PartMan
