#include "model/Ata.h"

namespace Applications::DriveScope::Model {

// SCAFFOLD: the IDENTIFY decode lands with the ATA work.
Ata::Ata(const QByteArray &identify, QObject *parent) : QAbstractTableModel(parent), m_identify(identify) {}
Ata::~Ata() = default;
QList<int> Ata::headerRows() const { return {}; }
QString Ata::standardText() const { return {}; }
int Ata::rowCount(const QModelIndex &) const { return 0; }
int Ata::columnCount(const QModelIndex &) const { return 2; }
QVariant Ata::data(const QModelIndex &, int) const { return {}; }
QVariant Ata::headerData(int, Qt::Orientation, int) const { return {}; }

} // namespace Applications::DriveScope::Model
