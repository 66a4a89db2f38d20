// The S.M.A.R.T. tab model: one row per attribute record, named by id.
#include "model/Smart.h"

#include "model/Roles.h"
#include "model/SmartRecords.h"
#include "platform/I18n.h"

#include <algorithm>
#include <iterator>

namespace Applications::DriveScope::Model {

namespace {

struct AttributeName {
    quint8 id;
    const char *key;
    const char *text;
};

// Ascending by id. Several ids share an English text but keep their own key.
constexpr AttributeName attributeNames[] = {
    {0x01, "smart.attribute.0x01", "Read Error Rate"},
    {0x02, "smart.attribute.0x02", "Throughput Performance"},
    {0x03, "smart.attribute.0x03", "Spin-Up Time"},
    {0x04, "smart.attribute.0x04", "Start/Stop Count"},
    {0x05, "smart.attribute.0x05", "Reallocated Sectors Count"},
    {0x06, "smart.attribute.0x06", "Read Channel Margin"},
    {0x07, "smart.attribute.0x07", "Seek Error Rate"},
    {0x08, "smart.attribute.0x08", "Seek Time Performance"},
    {0x09, "smart.attribute.0x09", "Power-on Hours Count"},
    {0x0A, "smart.attribute.0x0A", "Spin Retry Count"},
    {0x0B, "smart.attribute.0x0B", "Calibration Retry Count"},
    {0x0C, "smart.attribute.0x0C", "Drive Power Cycle Count"},
    {0x0D, "smart.attribute.0x0D", "Soft Read Error Rate"},
    {0xAA, "smart.attribute.0xAA", "Available Reserved Space"},
    {0xAB, "smart.attribute.0xAB", "Program Fail Count"},
    {0xAC, "smart.attribute.0xAC", "Erase Fail Count"},
    {0xAE, "smart.attribute.0xAE", "Unexpected Power Loss Count"},
    {0xAF, "smart.attribute.0xAF", "Power Loss Protection Failure"},
    {0xB1, "smart.attribute.0xB1", "Wear Range Delta"},
    {0xB3, "smart.attribute.0xB3", "Used Reserved Block Count Total"},
    {0xB4, "smart.attribute.0xB4", "Unused Reserved Block Count Total"},
    {0xB5, "smart.attribute.0xB5.non4kaligned", "Non-4K Aligned Access Count"},
    {0xB6, "smart.attribute.0xB6", "Erase Fail Count"},
    {0xB7, "smart.attribute.0xB7.runtimebadblock", "Runtime Bad Block"},
    {0xB8, "smart.attribute.0xB8", "End-to-End error / IOEDC"},
    {0xB9, "smart.attribute.0xB9", "Head Stability"},
    {0xBA, "smart.attribute.0xBA", "Induced Op-Vibration Detection"},
    {0xBB, "smart.attribute.0xBB", "Reported Uncorrectable Errors"},
    {0xBC, "smart.attribute.0xBC", "Command Timeout"},
    {0xBD, "smart.attribute.0xBD", "High Fly Writes"},
    {0xBE, "smart.attribute.0xBE.airflowtemperature", "(Airflow) Temperature"},
    {0xBF, "smart.attribute.0xBF", "G-sense Error Rate"},
    {0xC0, "smart.attribute.0xC0", "Unsafe Shutdown Count"},
    {0xC1, "smart.attribute.0xC1", "Load Cycle Count"},
    {0xC2, "smart.attribute.0xC2", "Temperature Celsius"},
    {0xC3, "smart.attribute.0xC3", "ECC Error Rate/Hardware ECC Recovered"},
    {0xC4, "smart.attribute.0xC4", "Reallocation Event Count"},
    {0xC5, "smart.attribute.0xC5", "Current Pending Sector Count"},
    {0xC6, "smart.attribute.0xC6", "Uncorrectable Sector Count"},
    {0xC7, "smart.attribute.0xC7", "CRC Error Count"},
    {0xC8, "smart.attribute.0xC8.multizoneerror", "Multi-Zone Error Rate"},
    {0xC9, "smart.attribute.0xC9", "Soft Read Error Rate"},
    {0xCA, "smart.attribute.0xCA", "Data Address Mark errors"},
    {0xCB, "smart.attribute.0xCB", "Run Out Channel"},
    {0xCC, "smart.attribute.0xCC", "Soft ECC Correction"},
    {0xCD, "smart.attribute.0xCD", "Thermal Asperity Rate"},
    {0xCE, "smart.attribute.0xCE", "Flying Height"},
    {0xCF, "smart.attribute.0xCF", "Spin High Current"},
    {0xD0, "smart.attribute.0xD0", "Spin Buzz"},
    {0xD1, "smart.attribute.0xD1", "Offline Seek Performance"},
    {0xD2, "smart.attribute.0xD2", "Vibration During Write"},
    {0xD3, "smart.attribute.0xD3", "Vibration During Write"},
    {0xD4, "smart.attribute.0xD4", "Shock During Write"},
    {0xDC, "smart.attribute.0xDC", "Disk Shift"},
    {0xDD, "smart.attribute.0xDD", "G-Sense Error Rate"},
    {0xDE, "smart.attribute.0xDE", "Loaded Hours"},
    {0xDF, "smart.attribute.0xDF", "Load/Unload Retry Count"},
    {0xE0, "smart.attribute.0xE0", "Load Friction"},
    {0xE1, "smart.attribute.0xE1", "Load/Unload Cycle Count"},
    {0xE2, "smart.attribute.0xE2", "Load 'In'-time"},
    {0xE3, "smart.attribute.0xE3", "Torque Amplification Count"},
    {0xE4, "smart.attribute.0xE4", "Power-Off Retract Cycle"},
    {0xE6, "smart.attribute.0xE6.drivelifeprotstatus", "Drive Life Protection Status"},
    {0xE7, "smart.attribute.0xE7.ssdlifeleft", "SSD Life Left"},
    {0xE8, "smart.attribute.0xE8.enduranceremaining", "Endurance Remaining"},
    {0xE9, "smart.attribute.0xE9.poweronhours", "Power-On Hours"},
    {0xEA, "smart.attribute.0xEA", "Average Erase Count AND Maximum Erase Count"},
    {0xEB, "smart.attribute.0xEB", "Good Block Count AND System(Free) Block Count"},
    {0xF0, "smart.attribute.0xF0.headflying", "Head Flying Hours"},
    {0xF1, "smart.attribute.0xF1", "Total LBAs Written"},
    {0xF2, "smart.attribute.0xF2", "Total LBAs Read"},
    {0xF9, "smart.attribute.0xF9", "NAND_Writes_1GiB"},
    {0xFA, "smart.attribute.0xFA", "Read Error Retry Rate"},
    {0xFE, "smart.attribute.0xFE", "Free Fall Protection"},
};

enum Column { IdColumn, NameColumn, ValueColumn, WorstColumn, ThresholdColumn, HexColumn, ColumnCount };

struct ColumnHeader {
    const char *key;
    const char *text;
};

constexpr ColumnHeader columnHeaders[ColumnCount] = {
    {"main.grid.column.id", "TagID"},
    {"main.grid.column.name", "Name"},
    {"main.grid.column.value", "Value"},
    {"main.grid.column.worst", "Worst"},
    {"main.grid.column.threshold", "Threshold"},
    {"main.grid.column.hexdata", "Hexdata"},
};

constexpr int rightCentred = Qt::AlignRight | Qt::AlignVCenter;
constexpr int leftCentred = Qt::AlignLeft | Qt::AlignVCenter;

// "66 55 44 33 22 11": the 48-bit raw value, most significant byte first.
QString hexData(quint64 raw)
{
    QString text;
    text.reserve(17);
    for (int shift = 40; shift >= 0; shift -= 8) {
        if (!text.isEmpty())
            text.append(QLatin1Char(' '));
        text.append(QString::number((raw >> shift) & 0xFF, 16).toUpper().rightJustified(2, QLatin1Char('0')));
    }
    return text;
}

} // namespace

QString smartAttributeName(quint8 id)
{
    const auto it = std::lower_bound(std::begin(attributeNames), std::end(attributeNames), id,
                                     [](const AttributeName &n, quint8 v) { return n.id < v; });
    if (it != std::end(attributeNames) && it->id == id)
        return trKey(it->key, it->text);
    return trKey("smart.attribute.unknown", "Unknown Attribute %1").arg(id);
}

Smart::Smart(const QList<SmartAttribute> &attributes, bool healthy, QObject *parent)
    : QAbstractTableModel(parent), m_attributes(attributes), m_healthy(healthy)
{
}

Smart::~Smart() = default;

int Smart::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_attributes.size());
}

int Smart::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant Smart::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_attributes.size() || index.column() >= ColumnCount)
        return {};
    const SmartAttribute &a = m_attributes[index.row()];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case IdColumn:
            return QString::number(a.id, 16).toUpper().rightJustified(2, QLatin1Char('0')) + QLatin1Char('h');
        case NameColumn:
            return smartAttributeName(a.id);
        case ValueColumn:
            return int(a.value);
        case WorstColumn:
            return int(a.worst);
        case ThresholdColumn:
            return int(a.threshold);
        case HexColumn:
            return hexData(a.raw);
        }
        return {};
    case Qt::ToolTipRole: {
        // The decoded raw value, and what the state means when it is not ok.
        QString tip = rawText(a);
        const QString state = attributeStateText(attributeState(a));
        if (!state.isEmpty())
            tip += QLatin1Char('\n') + state;
        return column == NameColumn ? smartAttributeName(a.id) + QLatin1Char('\n') + tip : tip;
    }
    case Roles::AttributeState:
        return int(attributeState(a));
    case Roles::HexColumn:
        return column == HexColumn ? QVariant(true) : QVariant();
    case Qt::TextAlignmentRole:
        return column == NameColumn || column == HexColumn ? QVariant() : QVariant(rightCentred);
    }
    return {};
}

QVariant Smart::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return leftCentred;
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || section < 0 || section >= ColumnCount)
        return {};
    return trKey(columnHeaders[section].key, columnHeaders[section].text);
}

} // namespace Applications::DriveScope::Model
