// The S.M.A.R.T. tab: one row per attribute record and the drive's health flag.
#pragma once
#include <QAbstractTableModel>
#include <QList>
#include <optional>

namespace Applications::DriveScope::Model {

struct SmartAttribute {
    quint8 id = 0;
    quint8 value = 0;
    quint8 worst = 0;
    quint8 threshold = 0;
    quint64 raw = 0; // low 48 bits
    // Set by applyDriveQuirks: this drive counts power-on time (09h) in minutes.
    bool powerOnMinutes = false;
};

// The translated name of an attribute id; "Unknown Attribute %1" for ids
// without one.
QString smartAttributeName(quint8 id);

class Smart : public QAbstractTableModel {
    Q_OBJECT
public:
    // Keeps its own copy of the list, in order; an empty list is allowed.
    Smart(const QList<SmartAttribute> &attributes, bool healthy, QObject *parent = nullptr);
    ~Smart() override;

    const QList<SmartAttribute> &attributes() const { return m_attributes; }
    bool healthy() const { return m_healthy; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<SmartAttribute> m_attributes;
    bool m_healthy;
};

} // namespace Applications::DriveScope::Model
