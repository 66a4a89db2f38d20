// The partition manager over a disk held in memory. The first bytes choose the
// block size (512 or 4096), the block count and one block that fails to read;
// the rest is the disk's content, split between its start and its end so that
// backup GPT headers are reachable. Blocks the input does not cover read as zeros.
#include <cstring>

#include "FuzzSupport.h"
#include "platform/Error.h"
#include "platform/disks/PartMan.h"

using namespace Libraries::Disks::PartMan;

namespace {

// Every disk is at most 2 TiB; only the input itself is held in memory.
constexpr quint64 kMaxDiskBytes = quint64(2) << 40;

class MemoryStorage : public Interfaces::Storage {
public:
    MemoryStorage(quint64 blockSize, quint64 blockCount, QByteArray head, QByteArray tail, qint64 badBlock)
        : m_bs(blockSize), m_count(blockCount), m_head(std::move(head)), m_tail(std::move(tail)), m_bad(badBlock)
    {
    }
    quint64 blockSize() override { return m_bs; }
    quint64 blockCount() override { return m_count; }
    bool read(quint64 first, quint32 count, void *buffer) override
    {
        if (count == 0 || first >= m_count || count > m_count - first) {
            Error::set(Error::IoFailed);
            return false;
        }
        if (m_bad >= 0 && quint64(m_bad) >= first && quint64(m_bad) < first + count) {
            Error::set(Error::IoFailed);
            return false;
        }
        const quint64 begin = first * m_bs;
        const quint64 end = begin + quint64(count) * m_bs;
        auto *out = static_cast<char *>(buffer);
        std::memset(out, 0, size_t(end - begin));
        copy(out, begin, end, 0, m_head);
        copy(out, begin, end, m_count * m_bs - quint64(m_tail.size()), m_tail);
        return true;
    }

private:
    static void copy(char *out, quint64 begin, quint64 end, quint64 at, const QByteArray &part)
    {
        const quint64 from = qMax(begin, at);
        const quint64 to = qMin(end, at + quint64(part.size()));
        if (from < to)
            std::memcpy(out + (from - begin), part.constData() + (from - at), size_t(to - from));
    }

    quint64 m_bs, m_count;
    QByteArray m_head, m_tail;
    qint64 m_bad;
};

size_t visit(const Ref<Partition> &p)
{
    if (!p)
        __builtin_trap(); // indexes below the count always give a partition
    quint32 c = 0, h = 0, s = 0;
    size_t sum = size_t(p->kind()) + p->number() + p->name().size() + p->start() + p->size() + p->attributes();
    sum += size_t(p->bootable()) + p->fsType() + p->volumeName().size() + p->volumeId().size() + p->withinDisk();
    sum += size_t(Partition::splitCHS(p->chsStart(), c, h, s)) + Partition::splitCHS(p->chsEnd(), c, h, s);
    sum += size_t(PartitionNames::UUIDtoName(p->typeUUID(), true).size());
    sum += size_t(Partition::getLegacyTypeFromUUID(p->typeUUID())) + Partition::isLegacyTypeUUID(p->typeUUID());
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::setUp();
    Fuzz::Cursor in(data, size);
    const quint8 flags = in.byte();
    const quint64 bs = (flags & 1) ? 4096 : 512;
    const quint32 countField = in.u32();
    const quint32 split = in.u32();
    const qint64 bad = (flags & 2) ? qint64(in.u32() & 0xFFFF) : -1;
    QByteArray payload = in.rest();
    const qsizetype headSize = qsizetype(split % quint32(payload.size() + 1));
    QByteArray head = payload.left(headSize);
    QByteArray tail = payload.mid(headSize);
    // The disk holds both parts, and otherwise has the size the input asks for.
    const quint64 needed = (quint64(head.size()) + bs - 1) / bs + (quint64(tail.size()) + bs - 1) / bs;
    const quint64 count = qMax(needed, qMin<quint64>(countField, kMaxDiskBytes / bs));
    Error::set(0);
    auto storage = std::make_shared<MemoryStorage>(bs, count, head, tail, bad);
    const quint32 probe = (flags & 4) ? PartitionManager::NoFilesystemProbe : 0;
    const Ref<PartitionManager> manager = PartitionManager::create(storage, nullptr, nullptr, probe);
    if (!manager) {
        if (Error::get() == 0)
            __builtin_trap(); // a failure always leaves its reason
        return 0;
    }
    size_t sum = size_t(manager->tableType()) + manager->mbrDiskSignature() + manager->gptEntryCount();
    sum += manager->gptDiskGuid().toString().size() + manager->gptHeaderLba() + manager->warnings().size();
    for (quint32 i = 0; i < manager->partitionCount(); ++i)
        sum += visit(manager->partition(i));
    for (quint32 i = 0; i < manager->mbrPartitionCount(); ++i)
        sum += visit(manager->mbrPartition(i));
    if (manager->partition(manager->partitionCount()) || manager->mbrPartition(manager->mbrPartitionCount()))
        __builtin_trap();
    Fuzz::keep(sum);
    return 0;
}
