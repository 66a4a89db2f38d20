// The ATA tab: the 512-byte IDENTIFY DEVICE block decoded into rows under
// section headers.
#pragma once
#include "model/ata/Rules.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>

namespace Applications::DriveScope::Model {

using Identify::AtaRow;

class Ata : public QAbstractTableModel {
    Q_OBJECT
public:
    // Decodes the block at once; a block of another size decodes as if
    // zero-filled (the acquisition only hands over 512 bytes).
    explicit Ata(const QByteArray &identify, QObject *parent = nullptr);
    ~Ata() override;

    const QByteArray &identify() const { return m_identify; }
    QList<int> headerRows() const;
    // The ATA standard the drive follows ("ATA-8 ACS", "Unknown").
    QString standardText() const;
    int level() const { return m_level; }
    bool isCompactFlash() const { return m_cfa; }
    const QList<AtaRow> &rows() const { return m_rows; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void decode();

    QByteArray m_identify;
    QList<AtaRow> m_rows;
    int m_level = 0;
    bool m_cfa = false;
};

} // namespace Applications::DriveScope::Model
