#include "model/Smart.h"

namespace Applications::DriveScope::Model {

// SCAFFOLD: the attribute table lands with the S.M.A.R.T. work.
Smart::Smart(const QList<SmartAttribute> &attributes, bool healthy, QObject *parent)
    : QAbstractTableModel(parent), m_attributes(attributes), m_healthy(healthy) {}
Smart::~Smart() = default;
int Smart::rowCount(const QModelIndex &) const { return m_attributes.size(); }
int Smart::columnCount(const QModelIndex &) const { return 6; }
QVariant Smart::data(const QModelIndex &, int) const { return {}; }
QVariant Smart::headerData(int, Qt::Orientation, int) const { return {}; }

} // namespace Applications::DriveScope::Model
