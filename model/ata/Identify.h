// Read access to a 512-byte IDENTIFY DEVICE block: words, bits, multi-word
// values and the byte-swapped ATA strings. A shorter block reads as zeros past
// its end, so no decoder can run off the buffer.
#pragma once
#include <QByteArray>
#include <QString>
#include <algorithm>
#include <array>

namespace Applications::DriveScope::Model::Identify {

class Words {
public:
    explicit Words(const QByteArray &block)
    {
        const int n = std::min<int>(int(m_words.size()), int(block.size() / 2));
        for (int i = 0; i < n; ++i)
            m_words[i] = quint16(quint8(block[2 * i]) | (quint8(block[2 * i + 1]) << 8));
    }

    quint16 w(int word) const { return word >= 0 && word < int(m_words.size()) ? m_words[word] : 0; }
    bool bit(int word, int bit) const { return (w(word) >> bit) & 1; }
    // w(first) + w(first + 1) * 65536 + ... for `count` words, lowest word first.
    quint64 wide(int first, int count) const
    {
        quint64 v = 0;
        for (int i = count - 1; i >= 0; --i)
            v = (v << 16) | w(first + i);
        return v;
    }
    // Characters high byte first; stops at the first zero byte.
    QString text(int first, int count) const
    {
        QByteArray out;
        out.reserve(count * 2);
        for (int i = 0; i < count; ++i) {
            const quint16 v = w(first + i);
            const char hi = char(v >> 8), lo = char(v & 0xFF);
            if (hi == 0)
                break;
            out.append(hi);
            if (lo == 0)
                break;
            out.append(lo);
        }
        return QString::fromLatin1(out);
    }

private:
    std::array<quint16, 256> m_words{};
};

} // namespace Applications::DriveScope::Model::Identify
