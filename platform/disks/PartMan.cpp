// Reading partition tables through Interfaces::Storage. Every size taken from
// the disk is checked against the disk and against fixed bounds before it is
// used, so damaged or hostile tables give warnings or a failure, never a huge
// allocation or an endless walk.
#include "platform/disks/PartMan.h"

#include <QSet>
#include <QtEndian>
#include <array>
#include <cstring>

#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/disks/FilesysNames.h"

namespace {
const int kChannel = SysLogFilter::reg("Partitions");
}

namespace Libraries::Disks::PartMan {

namespace {

constexpr quint8 kProtective = 0xEE;
constexpr quint8 kLdm = 0x42;
// Bounds: more logical partitions than this means a damaged chain; GPT arrays
// larger than this are not read (128 × 128 bytes is the usual 16 KiB).
constexpr int kMaxLogical = 1024;
constexpr quint64 kMaxGptArrayBytes = 4 * 1024 * 1024;
constexpr quint32 kMaxGptEntrySize = 4096;
// A table listing more partitions than this is hostile or damaged: the rest is
// left out. File systems are probed on the first kMaxProbed partitions only.
constexpr int kMaxPartitions = 4096;
constexpr int kMaxProbed = 256;
// One read of the storage is at most this many bytes.
constexpr quint64 kMaxReadBytes = 1024 * 1024;

const QUuid kLdmMetadata = QUuid::fromString(QLatin1String("5808C8AA-7E8F-42E0-85D2-E1E90434CFB3"));

bool isExtended(quint8 type)
{
    return type == 0x05 || type == 0x0F || type == 0x85;
}

quint32 chs(const uchar *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16;
}

QUuid guidAt(const uchar *p)
{
    return QUuid(qFromLittleEndian<quint32>(p), qFromLittleEndian<quint16>(p + 4), qFromLittleEndian<quint16>(p + 6),
                 p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
}

struct MbrEntry {
    quint8 boot;
    quint32 chsStart;
    quint8 type;
    quint32 chsEnd;
    quint32 lba;
    quint32 sectors;
};

MbrEntry mbrEntry(const QByteArray &block, int slot)
{
    const auto *p = reinterpret_cast<const uchar *>(block.constData()) + 446 + 16 * slot;
    return {p[0], chs(p + 1), p[4], chs(p + 5), qFromLittleEndian<quint32>(p + 8), qFromLittleEndian<quint32>(p + 12)};
}

bool hasBootSignature(const QByteArray &block)
{
    return block.size() >= 512 && uchar(block[510]) == 0x55 && uchar(block[511]) == 0xAA;
}

struct GptHeader {
    quint64 myLba = 0, alternateLba = 0, firstUsable = 0, lastUsable = 0, entriesLba = 0;
    QUuid guid;
    quint32 count = 0, entrySize = 0, entriesCrc = 0;
    QByteArray entries;
};

} // namespace

// Walks the tables of one disk; the manager's friend that fills it.
class Reader {
public:
    Reader(Interfaces::Storage &storage, PartitionManager &out, quint32 flags)
        : m_storage(storage), m_out(out), m_flags(flags)
    {
    }

    bool run();

private:
    bool readBlocks(quint64 first, quint64 count, QByteArray &data);
    void warn(const QString &text, LogLevel level = LogLevel::Failure);
    bool readGpt(const QByteArray &mbr);
    bool readGptHeader(quint64 lba, GptHeader &header, QString &why);
    void readMbr(const QByteArray &mbr);
    bool readApm();
    void readChain(const MbrEntry &extended, quint32 &number);
    Ref<Partition> mbrPartition(int kind, quint32 number, const MbrEntry &e, quint64 base);
    void finishRange(Partition &p);
    void probe(Partition &p);

    Interfaces::Storage &m_storage;
    PartitionManager &m_out;
    quint32 m_flags;
    quint64 m_bs = 0;
    quint64 m_count = 0;
    int m_probed = 0;
};

bool Reader::readBlocks(quint64 first, quint64 count, QByteArray &data)
{
    if (count == 0 || first >= m_count || count > m_count - first) {
        Error::set(Error::BadData);
        return false;
    }
    data.resize(qsizetype(count * m_bs));
    const quint64 step = qMax<quint64>(1, kMaxReadBytes / m_bs);
    for (quint64 done = 0; done < count; done += step) {
        const quint32 n = quint32(qMin(step, count - done));
        if (!m_storage.read(first + done, n, data.data() + done * m_bs))
            return false;
    }
    return true;
}

void Reader::warn(const QString &text, LogLevel level)
{
    m_out.m_warnings.append(text);
    SysLog::write(kChannel, level, text);
}

bool Reader::run()
{
    m_bs = m_storage.blockSize();
    m_count = m_storage.blockCount();
    m_out.m_blockSize = m_bs;
    m_out.m_blockCount = m_count;
    if (m_bs < 512 || m_bs > 65536 || (m_bs & (m_bs - 1)) != 0) {
        SysLog::write(kChannel, LogLevel::Severe, QStringLiteral("Unsupported block size %1").arg(m_bs));
        Error::set(Error::BadData);
        return false;
    }
    if (m_count == 0)
        return true; // nothing to read: no table
    QByteArray mbr;
    if (!readBlocks(0, 1, mbr)) {
        const quint32 code = Error::get();
        SysLog::write(kChannel, LogLevel::Severe,
                      QStringLiteral("Failed to read block 0; error: ") + SysLog::errorText(code));
        Error::set(code ? code : Error::IoFailed);
        return false;
    }
    const bool signature = hasBootSignature(mbr);
    if (signature)
        m_out.m_mbrSignature = qFromLittleEndian<quint32>(mbr.constData() + 440);

    if (signature) {
        for (int i = 0; i < 4; ++i)
            if (mbrEntry(mbr, i).type == kProtective)
                return readGpt(mbr);
    }
    if (readApm())
        return true;

    // Boot flags other than 0 and 0x80 mean that block 0 is not an MBR but a boot
    // sector (a FAT or NTFS volume on the whole disk, for instance).
    bool plausible = signature;
    bool anyEntry = false;
    for (int i = 0; i < 4 && plausible; ++i) {
        const MbrEntry e = mbrEntry(mbr, i);
        if (e.boot != 0 && e.boot != 0x80)
            plausible = false;
        else if (e.type != 0 && e.sectors != 0)
            anyEntry = true;
    }
    if (!anyEntry && !(m_flags & PartitionManager::NoFilesystemProbe)) {
        auto volume = std::make_shared<Partition>();
        volume->m_kind = Partition::KindVolume;
        volume->m_number = 1;
        volume->m_start = 0;
        volume->m_size = m_count;
        probe(*volume);
        if (volume->m_fsType != 0) {
            m_out.m_tableType = PartitionManager::TableSuperfloppy;
            m_out.m_mbrSignature = 0;
            m_out.m_partitions.append(volume);
            return true;
        }
    }
    if (plausible)
        readMbr(mbr);
    return true;
}

Ref<Partition> Reader::mbrPartition(int kind, quint32 number, const MbrEntry &e, quint64 base)
{
    auto p = std::make_shared<Partition>();
    p->m_kind = kind;
    p->m_number = number;
    p->m_type = Partition::uuidFromLegacyType(e.type);
    p->m_start = base + e.lba;
    p->m_size = e.sectors;
    p->m_bootable = e.boot == 0x80;
    p->m_chsStart = e.chsStart;
    p->m_chsEnd = e.chsEnd;
    finishRange(*p);
    return p;
}

void Reader::finishRange(Partition &p)
{
    p.m_withinDisk = p.m_start < m_count && p.m_size <= m_count - p.m_start;
    if (!p.m_withinDisk)
        warn(QStringLiteral("Partition %1 (blocks %2 + %3) reaches beyond the end of the disk (%4 blocks)")
                 .arg(p.m_number)
                 .arg(p.m_start)
                 .arg(p.m_size)
                 .arg(m_count));
}

void Reader::readMbr(const QByteArray &mbr)
{
    m_out.m_tableType = PartitionManager::TableMbr;
    QList<MbrEntry> extended;
    bool ldm = false;
    for (int i = 0; i < 4; ++i) {
        const MbrEntry e = mbrEntry(mbr, i);
        if (e.type == 0 || e.sectors == 0)
            continue;
        const bool ext = isExtended(e.type);
        m_out.m_partitions.append(
            mbrPartition(ext ? Partition::KindMbrExtended : Partition::KindMbrPrimary, quint32(i + 1), e, 0));
        if (ext)
            extended.append(e);
        ldm = ldm || e.type == kLdm;
    }
    quint32 number = 5;
    for (const MbrEntry &e : extended)
        readChain(e, number);
    if (!extended.isEmpty())
        m_out.m_tableType = PartitionManager::TableMbrExtended;
    if (ldm)
        m_out.m_tableType = PartitionManager::TableDistributed;
    for (const Ref<Partition> &p : std::as_const(m_out.m_partitions))
        if (p->m_kind != Partition::KindMbrExtended)
            probe(*p);
}

// The logical partitions: each extended boot record holds one partition (relative
// to itself) and a link to the next record (relative to the extended partition).
void Reader::readChain(const MbrEntry &extended, quint32 &number)
{
    const quint64 base = extended.lba;
    const quint64 end = base + extended.sectors;
    QSet<quint64> seen;
    quint64 ebr = base;
    for (int n = 0;; ++n) {
        if (n >= kMaxLogical) {
            warn(QStringLiteral("More than %1 logical partitions; the rest of the chain is ignored").arg(kMaxLogical));
            return;
        }
        if (seen.contains(ebr)) {
            warn(QStringLiteral("The chain of logical partitions loops back to block %1").arg(ebr));
            return;
        }
        seen.insert(ebr);
        QByteArray block;
        if (!readBlocks(ebr, 1, block)) {
            warn(QStringLiteral("Extended boot record at block %1 cannot be read; error: %2")
                     .arg(ebr)
                     .arg(SysLog::errorText(Error::get())));
            return;
        }
        if (!hasBootSignature(block)) {
            warn(QStringLiteral("Extended boot record at block %1 has no signature").arg(ebr));
            return;
        }
        const MbrEntry logical = mbrEntry(block, 0);
        if (logical.type != 0 && logical.sectors != 0 && !isExtended(logical.type))
            m_out.m_partitions.append(mbrPartition(Partition::KindMbrLogical, number++, logical, ebr));
        const MbrEntry link = mbrEntry(block, 1);
        if (link.type == 0 || link.sectors == 0 || !isExtended(link.type))
            return;
        const quint64 next = base + link.lba;
        if (link.lba == 0 || next >= end) {
            warn(QStringLiteral("Extended boot record at block %1 links outside its extended partition").arg(ebr));
            return;
        }
        ebr = next;
    }
}

bool Reader::readGptHeader(quint64 lba, GptHeader &h, QString &why)
{
    QByteArray block;
    if (lba >= m_count || !readBlocks(lba, 1, block)) {
        why = QStringLiteral("cannot be read");
        return false;
    }
    const auto *p = reinterpret_cast<const uchar *>(block.constData());
    if (memcmp(p, "EFI PART", 8) != 0) {
        why = QStringLiteral("has no signature");
        return false;
    }
    const quint32 headerSize = qFromLittleEndian<quint32>(p + 12);
    if (headerSize < 92 || headerSize > m_bs) {
        why = QStringLiteral("has a bad header size %1").arg(headerSize);
        return false;
    }
    QByteArray copy = block.left(headerSize);
    memset(copy.data() + 16, 0, 4);
    if (crc32(copy.constData(), headerSize) != qFromLittleEndian<quint32>(p + 16)) {
        why = QStringLiteral("has a bad header CRC");
        return false;
    }
    h.myLba = qFromLittleEndian<quint64>(p + 24);
    h.alternateLba = qFromLittleEndian<quint64>(p + 32);
    h.firstUsable = qFromLittleEndian<quint64>(p + 40);
    h.lastUsable = qFromLittleEndian<quint64>(p + 48);
    h.guid = guidAt(p + 56);
    h.entriesLba = qFromLittleEndian<quint64>(p + 72);
    h.count = qFromLittleEndian<quint32>(p + 80);
    h.entrySize = qFromLittleEndian<quint32>(p + 84);
    h.entriesCrc = qFromLittleEndian<quint32>(p + 88);
    if (h.myLba != lba) {
        why = QStringLiteral("claims to be at block %1").arg(h.myLba);
        return false;
    }
    if (h.entrySize < 128 || h.entrySize > kMaxGptEntrySize || h.entrySize % 8 != 0) {
        why = QStringLiteral("has a bad entry size %1").arg(h.entrySize);
        return false;
    }
    const quint64 bytes = quint64(h.count) * h.entrySize;
    if (h.count == 0 || bytes > kMaxGptArrayBytes) {
        why = QStringLiteral("has an entry count of %1 (entry size %2)").arg(h.count).arg(h.entrySize);
        return false;
    }
    if (h.firstUsable > h.lastUsable) {
        why = QStringLiteral("has usable blocks %1 to %2").arg(h.firstUsable).arg(h.lastUsable);
        return false;
    }
    const quint64 blocks = (bytes + m_bs - 1) / m_bs;
    if (h.entriesLba >= m_count || blocks > m_count - h.entriesLba || !readBlocks(h.entriesLba, blocks, h.entries)) {
        why = QStringLiteral("has an entry array at block %1 that cannot be read").arg(h.entriesLba);
        return false;
    }
    if (crc32(h.entries.constData(), size_t(bytes)) != h.entriesCrc) {
        why = QStringLiteral("has a bad entry array CRC");
        return false;
    }
    h.entries.truncate(qsizetype(bytes));
    return true;
}

bool Reader::readGpt(const QByteArray &mbr)
{
    GptHeader header;
    QString primaryWhy, backupWhy;
    bool backup = false;
    if (!readGptHeader(1, header, primaryWhy)) {
        const quint64 last = m_count - 1;
        if (!readGptHeader(last, header, backupWhy)) {
            SysLog::write(kChannel, LogLevel::Severe,
                          QStringLiteral("No usable GPT: the primary header %1, the backup header at block %2 %3")
                              .arg(primaryWhy)
                              .arg(last)
                              .arg(backupWhy));
            Error::set(Error::BadData);
            return false;
        }
        backup = true;
        warn(
            QStringLiteral("The primary GPT header %1; using the backup header at block %2").arg(primaryWhy).arg(last));
    } else {
        SysLog::write(kChannel, LogLevel::Routine, QStringLiteral("Using the primary GPT header at block 1"));
        GptHeader other;
        QString why;
        if (header.alternateLba != 1 && !readGptHeader(header.alternateLba, other, why))
            warn(QStringLiteral("The backup GPT header at block %1 %2").arg(header.alternateLba).arg(why),
                 LogLevel::Notice);
    }
    if (header.lastUsable >= m_count)
        warn(QStringLiteral("The GPT describes %1 blocks but the disk has %2; the disk may be truncated")
                 .arg(header.lastUsable + 1)
                 .arg(m_count));
    m_out.m_gptHeaderLba = header.myLba;
    m_out.m_gptFirstUsable = header.firstUsable;
    m_out.m_gptLastUsable = header.lastUsable;
    m_out.m_gptGuid = header.guid;
    m_out.m_gptEntryCount = header.count;
    m_out.m_gptEntrySize = header.entrySize;

    bool hybrid = false;
    for (int i = 0; i < 4; ++i) {
        const MbrEntry e = mbrEntry(mbr, i);
        if (e.type == 0 || e.sectors == 0)
            continue;
        hybrid = hybrid || e.type != kProtective;
        m_out.m_mbrEntries.append(mbrPartition(Partition::KindMbrHybrid, quint32(i + 1), e, 0));
    }
    m_out.m_tableType = backup ? (hybrid ? PartitionManager::TableSyncedGptBackup : PartitionManager::TableGptBackup)
                               : (hybrid ? PartitionManager::TableSyncedGpt : PartitionManager::TableGpt);

    bool ldm = false;
    for (quint32 i = 0; i < header.count; ++i) {
        const auto *p = reinterpret_cast<const uchar *>(header.entries.constData()) + quint64(i) * header.entrySize;
        const QUuid type = guidAt(p);
        if (type.isNull())
            continue;
        if (m_out.m_partitions.size() >= kMaxPartitions) {
            warn(QStringLiteral("The GPT lists more than %1 partitions; the rest are left out").arg(kMaxPartitions));
            break;
        }
        auto part = std::make_shared<Partition>();
        part->m_kind = Partition::KindGpt;
        part->m_number = i + 1;
        part->m_type = type;
        part->m_unique = guidAt(p + 16);
        const quint64 first = qFromLittleEndian<quint64>(p + 32);
        const quint64 last = qFromLittleEndian<quint64>(p + 40);
        part->m_start = first;
        part->m_size = last >= first ? last - first + 1 : 0;
        if (last < first)
            warn(QStringLiteral("GPT entry %1 ends (block %2) before it starts (block %3)")
                     .arg(i + 1)
                     .arg(last)
                     .arg(first));
        part->m_attributes = qFromLittleEndian<quint64>(p + 48);
        int length = 0;
        while (length < 36 && qFromLittleEndian<quint16>(p + 56 + 2 * length) != 0)
            ++length;
        QString text(length, Qt::Uninitialized);
        for (int c = 0; c < length; ++c)
            text[c] = QChar(qFromLittleEndian<quint16>(p + 56 + 2 * c));
        part->m_name = text;
        finishRange(*part);
        ldm = ldm || type == kLdmMetadata;
        m_out.m_partitions.append(part);
    }
    if (ldm)
        m_out.m_tableType = PartitionManager::TableDistributed;
    for (const Ref<Partition> &p : std::as_const(m_out.m_partitions))
        probe(*p);
    return true;
}

// An Apple partition map: block 0 holds the driver descriptor ("ER") with the
// block size of the map, the map's entries ("PM") follow from block 1.
bool Reader::readApm()
{
    QByteArray block;
    if (!readBlocks(0, 1, block))
        return false;
    const auto *p = reinterpret_cast<const uchar *>(block.constData());
    if (p[0] != 'E' || p[1] != 'R')
        return false;
    const quint64 apmBlock = qFromBigEndian<quint16>(p + 2);
    if (apmBlock < 512 || apmBlock > 65536 || (apmBlock & (apmBlock - 1)) != 0)
        return false;
    // Saturated: a count no disk can have must not wrap into a small size.
    const quint64 diskBytes = m_count > ~quint64(0) / m_bs ? ~quint64(0) : m_count * m_bs;
    auto readApmBlock = [&](quint64 index, QByteArray &out) {
        const quint64 offset = index * apmBlock;
        if (offset + apmBlock > diskBytes)
            return false;
        const quint64 first = offset / m_bs;
        const quint64 count = (offset % m_bs + apmBlock + m_bs - 1) / m_bs;
        QByteArray data;
        if (!readBlocks(first, count, data))
            return false;
        out = data.mid(qsizetype(offset % m_bs), qsizetype(apmBlock));
        return true;
    };
    QByteArray entry;
    if (!readApmBlock(1, entry) || entry[0] != 'P' || entry[1] != 'M')
        return false;
    const quint32 mapCount = qFromBigEndian<quint32>(entry.constData() + 4);
    m_out.m_tableType = PartitionManager::TableApm;
    const quint32 bounded = qMin<quint32>(mapCount, 256);
    if (bounded < mapCount)
        warn(QStringLiteral("The Apple partition map claims %1 entries; reading 256").arg(mapCount));
    for (quint32 i = 1; i <= bounded; ++i) {
        if (!readApmBlock(i, entry) || entry[0] != 'P' || entry[1] != 'M') {
            warn(QStringLiteral("Apple partition map entry %1 is unreadable or damaged").arg(i));
            break;
        }
        const auto *e = reinterpret_cast<const uchar *>(entry.constData());
        auto part = std::make_shared<Partition>();
        part->m_kind = Partition::KindApm;
        part->m_number = i;
        const quint64 startBytes = quint64(qFromBigEndian<quint32>(e + 8)) * apmBlock;
        const quint64 sizeBytes = quint64(qFromBigEndian<quint32>(e + 12)) * apmBlock;
        part->m_start = startBytes / m_bs;
        part->m_size = sizeBytes / m_bs;
        part->m_name = QString::fromLatin1(reinterpret_cast<const char *>(e + 16),
                                           int(qstrnlen(reinterpret_cast<const char *>(e + 16), 32)));
        const QString type = QString::fromLatin1(reinterpret_cast<const char *>(e + 48),
                                                 int(qstrnlen(reinterpret_cast<const char *>(e + 48), 32)));
        // Apple's types with a GPT counterpart take its GUID; the rest stay nil ("Unused").
        static const struct {
            const char *apm;
            const char *guid;
        } kApmTypes[] = {
            {"Apple_HFS", "48465300-0000-11AA-AA11-00306543ECAC"},
            {"Apple_UFS", "55465300-0000-11AA-AA11-00306543ECAC"},
            {"Apple_Boot", "426F6F74-0000-11AA-AA11-00306543ECAC"},
            {"Apple_RAID", "52414944-0000-11AA-AA11-00306543ECAC"},
            {"Apple_APFS", "7C3457EF-0000-11AA-AA11-00306543ECAC"},
            {"Linux", "0FC63DAF-8483-4772-8E79-3D69D8477DE4"},
            {"Linux_Swap", "0657FD6D-A4AB-43C4-84E5-0933C84B4F4F"},
            {"DOS_FAT_32", "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"},
            {"Windows_FAT_32", "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"},
        };
        for (const auto &t : kApmTypes)
            if (type.compare(QLatin1String(t.apm), Qt::CaseInsensitive) == 0)
                part->m_type = QUuid::fromString(QLatin1String(t.guid));
        if (type == QLatin1String("Apple_partition_map") || type == QLatin1String("Apple_Free")) {
            if (part->m_name.isEmpty())
                part->m_name = type;
        }
        finishRange(*part);
        m_out.m_partitions.append(part);
    }
    for (const Ref<Partition> &p : std::as_const(m_out.m_partitions))
        probe(*p);
    return true;
}

void Reader::probe(Partition &p)
{
    if ((m_flags & PartitionManager::NoFilesystemProbe) || p.m_size == 0 || !p.m_withinDisk)
        return;
    if (++m_probed > kMaxProbed) {
        if (m_probed == kMaxProbed + 1)
            warn(QStringLiteral("File systems are probed on the first %1 partitions only").arg(kMaxProbed));
        return;
    }
    const ProbeResult r = probeFilesystem(m_storage, p.m_start * m_bs, p.m_size * m_bs);
    if (!r.error.isNull())
        warn(QStringLiteral("File system of partition %1 not probed: %2").arg(p.m_number).arg(r.error));
    p.m_fsType = r.type;
    p.m_volumeName = r.label;
    p.m_volumeId = r.uuid;
}

Ref<PartitionManager> PartitionManager::create(const Ref<Interfaces::Storage> &storage,
                                               const Ref<Interfaces::Generic> &generic,
                                               const Ref<Interfaces::Lockable> &lockable, quint32 flags)
{
    if (!storage) {
        Error::set(Error::BadArguments);
        return nullptr;
    }
    if (lockable && !lockable->lock()) {
        SysLog::write(kChannel, LogLevel::Failure,
                      QStringLiteral("The device is held exclusively; its partition table is not read"));
        Error::set(Error::AccessDenied);
        return nullptr;
    }
    auto manager = std::make_shared<PartitionManager>();
    manager->m_generic = generic;
    const bool ok = Reader(*storage, *manager, flags).run();
    const quint32 code = Error::get();
    if (lockable)
        lockable->unlock();
    if (!ok) {
        Error::set(code ? code : Error::BadData);
        return nullptr;
    }
    return manager;
}

Ref<Partition> PartitionManager::partition(quint32 index) const
{
    return index < quint32(m_partitions.size()) ? m_partitions.at(qsizetype(index)) : nullptr;
}

Ref<Partition> PartitionManager::mbrPartition(quint32 index) const
{
    return index < quint32(m_mbrEntries.size()) ? m_mbrEntries.at(qsizetype(index)) : nullptr;
}

bool Partition::splitCHS(quint32 chs, quint32 &cylinder, quint32 &head, quint32 &sector)
{
    if (chs > 0xFFFFFF)
        return false;
    const quint32 h = chs & 0xFF;
    const quint32 s = (chs >> 8) & 0x3F;
    const quint32 c = ((chs >> 16) & 0xFF) | ((chs >> 14) & 0x300);
    if (s == 0)
        return false;
    cylinder = c;
    head = h;
    sector = s;
    return true;
}

quint32 crc32(const void *data, size_t size, quint32 crc)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    const auto *p = static_cast<const uchar *>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace Libraries::Disks::PartMan
