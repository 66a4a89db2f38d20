// Partition tables from outside bytes: the input is the start of a disk whose
// block size and (possibly huge) block count come from its first bytes; the
// rest of the disk reads as zeros. File systems are not probed here.
#include <cstring>

#include "platform/Error.h"
#include "platform/disks/PartMan.h"

namespace {

class SparseDisk : public Interfaces::Storage {
public:
    SparseDisk(const uint8_t *data, size_t size, quint64 blockSize, quint64 blockCount)
        : m_data(data), m_size(size), m_blockSize(blockSize), m_blockCount(blockCount)
    {
    }
    quint64 blockSize() override { return m_blockSize; }
    quint64 blockCount() override { return m_blockCount; }
    bool read(quint64 first, quint32 count, void *buffer) override
    {
        if (first >= m_blockCount || count > m_blockCount - first) {
            Error::set(Error::IoFailed);
            return false;
        }
        const quint64 bytes = quint64(count) * m_blockSize;
        std::memset(buffer, 0, bytes);
        const quint64 offset = first * m_blockSize;
        if (offset < m_size)
            std::memcpy(buffer, m_data + offset, std::min<quint64>(bytes, m_size - offset));
        return true;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    quint64 m_blockSize, m_blockCount;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    // Byte 0: block size 512 << (bits 0-1); bytes 1-3: extra blocks beyond the data, scaled.
    const quint64 blockSize = 512ull << (data[0] & 3);
    const quint64 extra = (quint64(data[1]) | quint64(data[2]) << 8 | quint64(data[3]) << 16) << (data[0] >> 4);
    data += 4;
    size -= 4;
    const quint64 blockCount = (size + blockSize - 1) / blockSize + extra;
    auto disk = std::make_shared<SparseDisk>(data, size, blockSize, blockCount);
    using Libraries::Disks::PartMan::PartitionManager;
    if (const auto m = PartitionManager::create(disk, nullptr, nullptr, PartitionManager::NoFilesystemProbe)) {
        for (quint32 i = 0; i < m->partitionCount(); ++i)
            (void)m->partition(i)->name().size();
    }
    return 0;
}
