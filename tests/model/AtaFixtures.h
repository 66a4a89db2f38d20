// Helpers of the ATA and S.M.A.R.T. tests: a builder for IDENTIFY blocks, row
// lookup by section and label, and the real-drive snapshots.
#pragma once
#include "model/Ata.h"

#include <QByteArray>
#include <QDir>
#include <QStringList>
#include <QVariant>

namespace AtaFixtures {

// A 512-byte IDENTIFY block built word by word.
class IdentifyBlock {
public:
    IdentifyBlock &set(int word, quint16 value)
    {
        m_bytes[2 * word] = char(value & 0xFF);
        m_bytes[2 * word + 1] = char(value >> 8);
        return *this;
    }
    // ATA text: two characters per word, high byte first, blank-padded.
    IdentifyBlock &text(int first, int count, const QByteArray &s)
    {
        const QByteArray padded = s.leftJustified(count * 2, ' ', true);
        for (int i = 0; i < count; ++i)
            set(first + i, quint16(quint8(padded[2 * i]) << 8 | quint8(padded[2 * i + 1])));
        return *this;
    }
    // Signature 0xA5 and the checksum byte that makes the byte sum 0.
    IdentifyBlock &sign()
    {
        m_bytes[510] = char(0xA5);
        quint8 sum = 0;
        for (int i = 0; i < 511; ++i)
            sum += quint8(m_bytes[i]);
        m_bytes[511] = char(quint8(-sum));
        return *this;
    }
    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes = QByteArray(512, '\0');
};

// The value of the row `label` inside section `section`; invalid when the
// section or the row is absent.
inline QVariant rowValue(const Applications::DriveScope::Model::Ata &ata, const QString &section, const QString &label)
{
    bool inSection = false;
    for (const auto &row : ata.rows()) {
        if (row.header)
            inSection = row.label == section;
        else if (inSection && row.label == label)
            return row.value;
    }
    return {};
}

inline QStringList sectionNames(const Applications::DriveScope::Model::Ata &ata)
{
    QStringList names;
    for (const auto &row : ata.rows())
        if (row.header)
            names.append(row.label);
    return names;
}

// The folder of real drive snapshots; empty when the shared data is absent.
inline QString realDriveDir()
{
    QString shared = qEnvironmentVariable("DRIVESCOPE_SHARED");
    if (shared.isEmpty())
        shared = QStringLiteral(SOURCE_DIR "/../shared");
    const QDir dir(shared + QStringLiteral("/testdata/ata-drives"));
    return dir.exists() ? dir.absolutePath() : QString();
}

} // namespace AtaFixtures
