// Flat table adapter over a Group model: each group's title row, then its
// entries, group after group, always two columns. Does not own the source.
#pragma once
#include <QAbstractItemModel>
#include <QList>

namespace Applications::DriveScope::Model {

class OneColumn : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit OneColumn(QAbstractItemModel *source, QObject *parent = nullptr);
    ~OneColumn() override;

    QAbstractItemModel *source() const { return m_source; }
    const QList<int> &headerRows() const { return m_headerRows; }

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QAbstractItemModel *m_source;
    int m_total = 0;
    QList<int> m_headerRows;
};

} // namespace Applications::DriveScope::Model
