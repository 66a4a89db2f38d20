// Flat layout: the title of group g sits at g + n(0) + ... + n(g-1), its
// entries right after it.
#include "model/OneColumn.h"

#include "model/Roles.h"

#include <algorithm>

namespace Applications::DriveScope::Model {

namespace {
constexpr quint32 TitleFlag = 0x80000000u;
}

OneColumn::OneColumn(QAbstractItemModel *source, QObject *parent) : QAbstractItemModel(parent), m_source(source)
{
    if (!m_source)
        return;
    const int groups = m_source->rowCount();
    m_total = groups;
    int row = 0;
    for (int g = 0; g < groups; ++g) {
        m_headerRows.append(row);
        const int n = m_source->rowCount(m_source->index(g, 0));
        m_total += n;
        row += 1 + n;
    }
}

OneColumn::~OneColumn() = default;

QModelIndex OneColumn::index(int row, int column, const QModelIndex &) const
{
    if (!m_source || row < 0 || row >= m_total || column < 0 || column >= 2)
        return QModelIndex();
    // The last title row at or above `row` names the group: a binary search, so a
    // table of thousands of groups costs no more than a few steps per cell.
    const auto title = std::upper_bound(m_headerRows.cbegin(), m_headerRows.cend(), row) - 1;
    const quint32 g = quint32(title - m_headerRows.cbegin());
    if (*title == row)
        return createIndex(row, column, quintptr((g << 16) | TitleFlag));
    return createIndex(row, column, quintptr((g << 16) | quint32(row - *title - 1)));
}

QModelIndex OneColumn::parent(const QModelIndex &) const
{
    return QModelIndex();
}

int OneColumn::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_total;
}

int OneColumn::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant OneColumn::data(const QModelIndex &index, int role) const
{
    if (!m_source || !index.isValid())
        return QVariant();
    const quint32 id = quint32(index.internalId());
    const int g = int((id >> 16) & 0x7FFF);
    const QModelIndex groupIndex = m_source->index(g, index.column());
    if (!groupIndex.isValid())
        return QVariant();
    if (id & TitleFlag) {
        if (role == Roles::TitleRow)
            return true;
        return m_source->data(groupIndex, role);
    }
    const QModelIndex entryIndex = m_source->index(int(id & 0xFFFF), index.column(), groupIndex);
    if (!entryIndex.isValid())
        return QVariant();
    return m_source->data(entryIndex, role);
}

QVariant OneColumn::headerData(int section, Qt::Orientation orientation, int role) const
{
    return m_source ? m_source->headerData(section, orientation, role) : QVariant();
}

} // namespace Applications::DriveScope::Model
