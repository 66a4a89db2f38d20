// A read-only Interfaces::Storage over an image file or a byte array, for tests:
// counts what is read, can fail chosen blocks, offers the file's descriptor to
// probes when asked, and a Lockable that can refuse.
#pragma once
#include <QByteArray>
#include <QFile>
#include <QSet>
#include <cstring>

#include "platform/Error.h"
#include "platform/Nodes.h"

namespace TestSupport {

class ImageStorage : public Interfaces::Storage {
public:
    // blockCount 0 takes the file's size; a larger count reads zeros past its end.
    explicit ImageStorage(const QString &path, quint64 blockSize = 512, quint64 blockCount = 0,
                          bool withDescriptor = false)
        : m_file(path), m_withDescriptor(withDescriptor), m_blockSize(blockSize)
    {
        m_file.open(QIODevice::ReadOnly);
        m_blockCount = blockCount ? blockCount : quint64(m_file.size()) / blockSize;
    }
    explicit ImageStorage(const QByteArray &bytes, quint64 blockSize = 512)
        : m_bytes(bytes), m_memory(true), m_blockSize(blockSize), m_blockCount(quint64(bytes.size()) / blockSize)
    {
    }

    quint64 blockSize() override { return m_blockSize; }
    quint64 blockCount() override { return m_blockCount; }
    int descriptor() override { return m_withDescriptor ? m_file.handle() : -1; }
    quint64 bytesRead() override { return bytesReadTotal; }
    void noteRead(quint64 bytes) override { bytesReadTotal += bytes; }
    bool read(quint64 first, quint32 count, void *buffer) override
    {
        ++reads;
        bool failed = first >= m_blockCount || count > m_blockCount - first;
        for (quint64 b = first; !failed && b < first + count; ++b)
            failed = failing.contains(b);
        const qint64 offset = qint64(first * m_blockSize);
        if (failed || (!m_memory && !m_file.seek(offset))) {
            Error::set(Error::IoFailed);
            return false;
        }
        const quint64 bytes = quint64(count) * m_blockSize;
        bytesReadTotal += bytes;
        memset(buffer, 0, bytes);
        if (!m_memory)
            return m_file.read(static_cast<char *>(buffer), qint64(bytes)) >= 0;
        if (offset < m_bytes.size())
            memcpy(buffer, m_bytes.constData() + offset, size_t(qMin<qint64>(bytes, m_bytes.size() - offset)));
        return true;
    }

    QSet<quint64> failing; // blocks whose reads fail
    quint64 reads = 0;
    quint64 bytesReadTotal = 0;

private:
    QFile m_file;
    QByteArray m_bytes;
    bool m_memory = false;
    bool m_withDescriptor = false;
    quint64 m_blockSize;
    quint64 m_blockCount = 0;
};

class TestLock : public Interfaces::Lockable {
public:
    bool lock() override
    {
        if (refuse)
            return false;
        ++held;
        return true;
    }
    void unlock() override { --held; }
    bool refuse = false;
    int held = 0;
};

} // namespace TestSupport
