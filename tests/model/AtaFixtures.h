// Helpers of the ATA and S.M.A.R.T. tests: a builder for IDENTIFY blocks, row
// lookup by section and label, and the real-drive snapshots.
#pragma once
#include "model/Ata.h"
#include "model/AtaStatus.h"
#include "model/Roles.h"
#include "model/Smart.h"
#include "model/SmartRecords.h"
#include "model/SmartStatus.h"

#include <QAbstractItemModelTester>
#include <optional>

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

// The rows as "[Section]" and "label = value" lines; a value that is not text
// carries its type, so a number turning into text shows.
inline QStringList shownLines(const Applications::DriveScope::Model::Ata &ata)
{
    QStringList lines;
    for (const auto &row : ata.rows()) {
        if (row.header) {
            lines << QLatin1Char('[') + row.label + QLatin1Char(']');
            continue;
        }
        QString value = row.value.toString().replace(QLatin1Char('\n'), QLatin1String("\\n"));
        if (row.value.typeId() != QMetaType::QString)
            value += QStringLiteral(" (%1)").arg(QString::fromLatin1(row.value.typeName()));
        lines << row.label + QStringLiteral(" = ") + value;
    }
    return lines;
}

// What the ATA and S.M.A.R.T. tabs show for one drive, with the verdicts and
// the state of each attribute that is not ok:
// the text its golden file holds. `healthy` absent: the drive reported no
// health, so there is no S.M.A.R.T. model, as in the acquisition.
inline QString driveText(const QByteArray &identify, const QByteArray &records, std::optional<bool> healthy)
{
    using namespace Applications::DriveScope::Model;
    Ata ata(identify);
    QAbstractItemModelTester ataTester(&ata, QAbstractItemModelTester::FailureReportingMode::QtTest);
    bool decoded = false;
    const QList<SmartAttribute> attributes = decodeSmartRecords(records, &decoded);
    std::optional<Smart> smart;
    if (healthy)
        smart.emplace(attributes, *healthy);
    const ChecksumVerdict checksum = checksumVerdict(identify);
    const HealthVerdict health = smartHealth(smart ? &*smart : nullptr);
    QStringList out{QStringLiteral("%1; %2 (verdict %3); %4 (verdict %5, icon %6); records decoded: %7")
                        .arg(ataStandardLabel(&ata), checksum.text)
                        .arg(int(checksum.verdict))
                        .arg(health.text)
                        .arg(int(health.verdict))
                        .arg(health.iconShown)
                        .arg(decoded)};
    out << shownLines(ata);
    Smart table(attributes, true);
    QAbstractItemModelTester smartTester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int r = 0; r < table.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table.columnCount(); ++c)
            cells << table.data(table.index(r, c)).toString();
        const auto state = AttributeState(table.data(table.index(r, 0), Roles::AttributeState).toInt());
        if (state != AttributeState::Ok) // the window marks the row
            cells << attributeStateName(state);
        out << cells.join(QStringLiteral(" | "));
    }
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace AtaFixtures
