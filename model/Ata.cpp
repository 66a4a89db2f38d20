// The ATA tab model: runs the IDENTIFY row tables once and serves the rows.
#include "model/Ata.h"

#include "model/Roles.h"
#include "model/ata/Sections.h"
#include "model/ata/Standard.h"

namespace Applications::DriveScope::Model {

Ata::Ata(const QByteArray &identify, QObject *parent) : QAbstractTableModel(parent), m_identify(identify)
{
    decode();
}

Ata::~Ata() = default;

void Ata::decode()
{
    const Identify::Words id(m_identify);
    // w0 = 848Ah is the CompactFlash signature; w83:2 the CFA feature set.
    m_cfa = id.w(0) == 0x848A || id.bit(83, 2);
    m_level = m_cfa ? 0 : Identify::standardLevel(id);

    Identify::RowList list;
    list.rows.reserve(160);
    const Identify::Context context{id, m_level, m_cfa};
    for (const Identify::Section &section : Identify::sections())
        list.add(section, context);
    m_rows = std::move(list.rows);
}

QList<int> Ata::headerRows() const
{
    QList<int> headers;
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].header)
            headers.append(i);
    return headers;
}

QString Ata::standardText() const
{
    return Identify::levelText(m_level);
}

int Ata::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int Ata::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant Ata::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() > 1)
        return {};
    const AtaRow &row = m_rows[index.row()];
    const int column = index.column();
    if (row.header) {
        switch (role) {
        case Qt::DisplayRole:
            return column == 0 ? QVariant(row.label) : QVariant();
        case Roles::TitleRow:
        case Qt::UserRole:
            return true;
        }
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return column == 0 ? QVariant(row.label) : row.value;
    case Qt::ToolTipRole:
        return column == 0 ? QVariant(row.label) : QVariant();
    case Qt::UserRole:
        return false;
    }
    return {};
}

QVariant Ata::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == 0)
        return QStringLiteral("Name");
    if (section == 1)
        return QStringLiteral("Value");
    return {};
}

} // namespace Applications::DriveScope::Model
