// The ATA tab: the 512-byte IDENTIFY DEVICE block decoded into rows under
// section headers.
#pragma once
#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>

namespace Applications::DriveScope::Model {

class Ata : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit Ata(const QByteArray &identify, QObject *parent = nullptr);
    ~Ata() override;

    const QByteArray &identify() const { return m_identify; }
    QList<int> headerRows() const;
    QString standardText() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QByteArray m_identify;
};

} // namespace Applications::DriveScope::Model
