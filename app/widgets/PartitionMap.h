// The picture of the disk above the Partitions tab's table: one bar, a segment per
// partition in disk order, logical partitions inside their extended one, free
// space between them. Linked to the table: clicking a segment selects the
// partition's title row, selecting a row highlights the partition's segment.
#pragma once
#include <QList>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include "model/PartitionLayout.h"

class QItemSelectionModel;
class QTableView;

namespace Applications::DriveScope {

class PartitionMap : public QWidget {
    Q_OBJECT
public:
    explicit PartitionMap(QWidget *parent = nullptr);
    ~PartitionMap() override;

    // Shows a copy of `layout` (hidden when null, or without segments and without a
    // reason) and links to `view`, which shows the tab's model through a OneColumn
    // adapter; `view` may be null. Keeps the highlight when nothing changed, so the
    // window may call it on every resize.
    void showLayout(const Model::PartitionLayout *layout, QTableView *view);

    const Model::PartitionLayout &partitionLayout() const { return m_layout; }
    // Segment `segment` of the layout in widget coordinates; empty for an unknown one.
    QRect segmentRect(int segment) const { return m_rects.value(segment); }
    // The highlighted segment; -1 for none.
    int currentSegment() const { return m_current; }
    // The least width of a partition's segment while the bar has room for all of them.
    int minimumPartitionWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void placeSegments();
    int segmentAt(const QPoint &point) const;
    // Highlights `segment` and selects its partition's title row in the table.
    void activate(int segment);
    void followTable();
    QString toolTipOf(int segment) const;
    void paintSegment(QPainter &painter, int segment) const;

    Model::PartitionLayout m_layout;
    QList<QRect> m_rects;
    int m_current = -1;
    QPointer<QTableView> m_view;
    QPointer<QItemSelectionModel> m_selection;
};

} // namespace Applications::DriveScope
