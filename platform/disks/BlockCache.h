// One refresh's view of a drive: a storage over the backend's that keeps the
// blocks read so far, so the partition reader, the file system probes and the
// table-type check read each block from the drive once, and that counts the
// bytes which came from the drive.
#pragma once
#include <QByteArray>
#include <QHash>
#include <atomic>
#include <mutex>

#include "platform/Nodes.h"

namespace Libraries::Disks {

class BlockCache : public Interfaces::Storage {
public:
    // `inner` must not be null. Blocks beyond kMaxCachedBytes are read each
    // time they are asked for (a hostile table cannot grow the cache).
    explicit BlockCache(Ref<Interfaces::Storage> inner);

    static constexpr quint64 kMaxCachedBytes = 8 * 1024 * 1024;

    quint64 blockSize() override { return m_blockSize; }
    quint64 blockCount() override { return m_blockCount; }
    // Thread-safe; blocks already read come from memory, the rest in runs.
    bool read(quint64 first, quint32 count, void *buffer) override;
    int descriptor() override { return m_inner->descriptor(); }
    quint64 bytesRead() override { return m_bytesRead; }
    void noteRead(quint64 bytes) override { m_bytesRead += bytes; }

private:
    Ref<Interfaces::Storage> m_inner;
    quint64 m_blockSize, m_blockCount;
    std::mutex m_mutex;
    QHash<quint64, QByteArray> m_blocks;
    quint64 m_cachedBytes = 0;
    std::atomic<quint64> m_bytesRead{0};
};

} // namespace Libraries::Disks
