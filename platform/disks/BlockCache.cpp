// The block cache of one refresh of a drive.
#include "platform/disks/BlockCache.h"

#include <cstring>

#include "platform/Error.h"

namespace Libraries::Disks {

BlockCache::BlockCache(Ref<Interfaces::Storage> inner)
    : m_inner(std::move(inner)), m_blockSize(m_inner->blockSize()), m_blockCount(m_inner->blockCount())
{
}

bool BlockCache::read(quint64 first, quint32 count, void *buffer)
{
    if (!buffer || first > m_blockCount || count > m_blockCount - first || m_blockSize == 0) {
        Error::set(Error::BadArguments);
        return false;
    }
    auto *out = static_cast<char *>(buffer);
    std::lock_guard lock(m_mutex);
    const quint64 end = first + count;
    for (quint64 b = first; b < end;) {
        char *at = out + (b - first) * m_blockSize;
        if (const auto hit = m_blocks.constFind(b); hit != m_blocks.cend()) {
            memcpy(at, hit->constData(), size_t(m_blockSize));
            ++b;
            continue;
        }
        // The run of blocks not read yet, fetched with one read.
        quint64 runEnd = b + 1;
        while (runEnd < end && !m_blocks.contains(runEnd))
            ++runEnd;
        if (!m_inner->read(b, quint32(runEnd - b), at))
            return false;
        m_bytesRead += (runEnd - b) * m_blockSize;
        for (; b < runEnd; ++b, at += m_blockSize) {
            if (m_cachedBytes + m_blockSize > kMaxCachedBytes)
                continue;
            m_blocks.insert(b, QByteArray(at, qsizetype(m_blockSize)));
            m_cachedBytes += m_blockSize;
        }
    }
    return true;
}

} // namespace Libraries::Disks
