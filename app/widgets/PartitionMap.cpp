// Painting, hit testing and the link to the table of the partition map. Widths
// follow sizes, but every partition keeps a least width so that a 1 MiB boot
// partition beside a 2 TB one stays visible and clickable.
#include "app/widgets/PartitionMap.h"

#include <QHash>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTableView>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <functional>

#include "model/OneColumn.h"

namespace Applications::DriveScope {

using Model::LayoutSegment;
using Model::PartitionLayout;

namespace {

constexpr int kPad = 4;      // around the text of a segment
constexpr int kInset = 3;    // between an extended partition's frame and its logical partitions
constexpr int kMinFree = 4;  // free space stays a visible sliver
constexpr int kMinLimit = 6; // a bar too narrow for every least width still gives each this much

// Fills by file system family: the Okabe-Ito colours, told apart with every kind
// of colour vision and drawn with their own contrasting text, so that they read
// the same in light and dark palettes. The text names the type anyway.
struct Fill {
    const char *types;
    QRgb colour;
};
const Fill kFills[] = {
    {"vfat exfat msdos", 0x56B4E9},                                                 // sky blue
    {"ntfs ReFS BitLocker", 0x0072B2},                                              // blue
    {"ext2 ext3 ext4 ext4dev jbd", 0x009E73},                                       // bluish green
    {"swap swsuspend", 0xD55E00},                                                   // vermilion
    {"hfs hfsplus apfs", 0xCC79A7},                                                 // reddish purple
    {"iso9660 udf squashfs squashfs3 erofs cramfs romfs", 0xF0E442},                // yellow
    {"LVM2_member linux_raid_member crypto_LUKS zfs_member bcache ddf_raid_member " // containers: grey
     "isw_raid_member VMFS_volume_member",
     0x999999},
};
const QRgb kOtherFs = 0xE69F00; // orange: any other file system
const QRgb kNoFs = 0xDDDDDD;    // light grey: nothing found

QColor fillOf(const QString &fsType)
{
    if (fsType.isEmpty())
        return QColor(kNoFs);
    for (const Fill &f : kFills) {
        if (QString::fromLatin1(f.types).split(QLatin1Char(' ')).contains(fsType))
            return QColor(f.colour);
    }
    return QColor(kOtherFs);
}

QColor textOn(const QColor &fill)
{
    // Relative luminance (sRGB, linearised): dark fills take white text.
    auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const double l = 0.2126 * channel(fill.redF()) + 0.7152 * channel(fill.greenF()) + 0.0722 * channel(fill.blueF());
    return l < 0.18 ? Qt::white : Qt::black;
}

bool selectable(const LayoutSegment &s)
{
    return s.kind != LayoutSegment::Free;
}

// Widths for items of `weights` in `width` pixels: proportional, but none below its
// least width; when even the least widths do not fit, they shrink alike.
QList<double> allocate(const QList<double> &weights, const QList<int> &mins, double width)
{
    const qsizetype n = weights.size();
    QList<double> widths(n, 0.0);
    double minSum = 0;
    for (int m : mins)
        minSum += m;
    if (minSum >= width) {
        for (qsizetype i = 0; i < n; ++i)
            widths[i] = minSum > 0 ? mins[i] * width / minSum : width / double(n);
        return widths;
    }
    QList<bool> fixed(n, false);
    for (bool changed = true; changed;) {
        changed = false;
        double room = width, weight = 0;
        for (qsizetype i = 0; i < n; ++i) {
            if (fixed[i])
                room -= mins[i];
            else
                weight += weights[i];
        }
        for (qsizetype i = 0; i < n; ++i) {
            if (fixed[i])
                continue;
            widths[i] = weight > 0 ? room * weights[i] / weight : room / double(n);
            if (widths[i] < mins[i]) {
                fixed[i] = true;
                changed = true;
            }
        }
    }
    for (qsizetype i = 0; i < n; ++i) {
        if (fixed[i])
            widths[i] = mins[i];
    }
    return widths;
}

QString rangeText(const LayoutSegment &s)
{
    return PartitionMap::tr("Blocks %1 – %2 (%3 blocks)").arg(s.start).arg(s.end).arg(s.end - s.start + 1);
}

} // namespace

PartitionMap::PartitionMap(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(tr("Partition map"));
    hide();
}

PartitionMap::~PartitionMap() = default;

int PartitionMap::minimumPartitionWidth() const
{
    // Room for the number and a short size.
    return qMax(28, fontMetrics().horizontalAdvance(QStringLiteral("8 MiB")) + 2 * kPad + 1);
}

QSize PartitionMap::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    if (m_layout.segments.isEmpty())
        return QSize(400, fm.height() + 2 * kPad);
    // Three lines in a logical partition below its extended partition's title.
    return QSize(400, fm.height() + 4 + 3 * fm.lineSpacing() + 2 * kPad + kInset + 2);
}

QSize PartitionMap::minimumSizeHint() const
{
    return QSize(kMinLimit * 4, sizeHint().height());
}

void PartitionMap::showLayout(const PartitionLayout *layout, QTableView *view)
{
    const PartitionLayout next = layout ? *layout : PartitionLayout();
    if (!(next == m_layout)) {
        m_layout = next;
        m_current = -1;
        placeSegments();
        updateGeometry();
        update();
    }
    setVisible(!m_layout.segments.isEmpty() || !m_layout.reason.isEmpty());
    setAccessibleDescription(m_layout.summary());

    QItemSelectionModel *selection = view ? view->selectionModel() : nullptr;
    if (view != m_view || selection != m_selection) {
        if (m_selection)
            disconnect(m_selection, nullptr, this, nullptr);
        m_view = view;
        m_selection = selection;
        if (selection)
            connect(selection, &QItemSelectionModel::selectionChanged, this, &PartitionMap::followTable);
        followTable();
    }
}

void PartitionMap::placeSegments()
{
    const QList<LayoutSegment> &segments = m_layout.segments;
    m_rects = QList<QRect>(segments.size());
    // The top row, and the segments inside each extended partition.
    QList<int> top;
    QHash<int, QList<int>> inside;
    int holder = -1;
    for (int i = 0; i < segments.size(); ++i) {
        if (segments[i].inside && holder >= 0) {
            inside[holder] << i;
            continue;
        }
        top << i;
        holder = segments[i].kind == LayoutSegment::Extended ? i : -1;
    }

    const int minPartition = minimumPartitionWidth();
    const int header = fontMetrics().height() + 4;
    auto minOf = [&](int i) {
        if (segments[i].kind == LayoutSegment::Free)
            return kMinFree;
        if (segments[i].kind == LayoutSegment::Partition)
            return minPartition;
        int sum = 2 * kInset;
        for (int child : inside.value(i))
            sum += segments[child].kind == LayoutSegment::Free ? kMinFree : minPartition;
        return qMax(minPartition, sum);
    };
    std::function<void(const QList<int> &, const QRect &)> placeRow = [&](const QList<int> &items, const QRect &area) {
        QList<double> weights;
        QList<int> mins;
        for (int i : items) {
            weights << double(segments[i].end - segments[i].start) + 1.0;
            mins << minOf(i);
        }
        const QList<double> widths = allocate(weights, mins, area.width());
        double at = 0;
        for (int k = 0; k < items.size(); ++k) {
            const int left = area.left() + int(std::lround(at));
            at += widths[k];
            const int right = area.left() + int(std::lround(at));
            const int i = items[k];
            m_rects[i] = QRect(left, area.top(), right - left, area.height());
            if (segments[i].kind == LayoutSegment::Extended)
                placeRow(inside.value(i), m_rects[i].adjusted(kInset, header, -kInset, -kInset));
        }
    };
    placeRow(top, rect().adjusted(1, 1, -1, -1));
}

void PartitionMap::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeSegments();
}

int PartitionMap::segmentAt(const QPoint &point) const
{
    // Logical partitions follow their extended one and lie on top of it.
    for (int i = int(m_rects.size()) - 1; i >= 0; --i) {
        if (m_rects[i].contains(point))
            return i;
    }
    return -1;
}

void PartitionMap::activate(int segment)
{
    m_current = segment;
    update();
    if (!m_view || segment < 0)
        return;
    const auto *adapter = qobject_cast<Model::OneColumn *>(m_view->model());
    if (!adapter)
        return;
    // Group 0 is the table as a whole; partition n of the table is group n + 1.
    const int row = adapter->headerRows().value(m_layout.segments[segment].index + 1, -1);
    if (row < 0)
        return;
    const QModelIndex index = adapter->index(row, 0);
    m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_view->scrollTo(index, QAbstractItemView::PositionAtTop);
}

void PartitionMap::followTable()
{
    int segment = -1;
    const auto *adapter = m_view ? qobject_cast<Model::OneColumn *>(m_view->model()) : nullptr;
    const QModelIndexList selected = m_selection ? m_selection->selectedIndexes() : QModelIndexList();
    if (adapter && !selected.isEmpty()) {
        const QList<int> &headers = adapter->headerRows();
        const auto after = std::upper_bound(headers.begin(), headers.end(), selected.first().row());
        const int partition = int(after - headers.begin()) - 2;
        for (int i = 0; i < m_layout.segments.size() && partition >= 0; ++i) {
            if (m_layout.segments[i].index == partition)
                segment = i;
        }
    }
    if (segment != m_current) {
        m_current = segment;
        update();
    }
}

void PartitionMap::mousePressEvent(QMouseEvent *event)
{
    const int segment = segmentAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && segment >= 0 && selectable(m_layout.segments[segment]))
        activate(segment);
    QWidget::mousePressEvent(event);
}

void PartitionMap::keyPressEvent(QKeyEvent *event)
{
    QList<int> targets;
    for (int i = 0; i < m_layout.segments.size(); ++i) {
        if (selectable(m_layout.segments[i]))
            targets << i;
    }
    const qsizetype at = targets.indexOf(m_current);
    qsizetype next = -1;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        next = at < 0 ? targets.size() - 1 : qMax<qsizetype>(0, at - 1);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        next = at < 0 ? 0 : qMin(targets.size() - 1, at + 1);
        break;
    case Qt::Key_Home:
        next = 0;
        break;
    case Qt::Key_End:
        next = targets.size() - 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (next >= 0 && next < targets.size())
        activate(targets[next]);
    event->accept();
}

QString PartitionMap::toolTipOf(int segment) const
{
    const LayoutSegment &s = m_layout.segments[segment];
    QStringList lines;
    if (s.kind == LayoutSegment::Free) {
        lines << tr("Free space: %1").arg(Model::sizeText(s.bytes));
    } else {
        lines << (s.name.isEmpty() ? tr("Partition %1").arg(s.number)
                                   : tr("Partition %1: %2").arg(s.number).arg(s.name));
        if (!s.typeName.isEmpty())
            lines << tr("Type: %1")
                         .arg(s.kind == LayoutSegment::Extended ? tr("extended (%1)").arg(s.typeName) : s.typeName);
        if (!s.fsName.isEmpty())
            lines << tr("File system: %1 (%2)").arg(s.fsName, s.fsType);
        lines << tr("Size: %1").arg(Model::sizeText(s.bytes));
        // The table's groups count the entries; an MBR numbers logical partitions from 5.
        if (quint32(s.index + 1) != s.number)
            lines << tr("Rows: PARTITION %1").arg(s.index + 1);
    }
    lines << rangeText(s);
    return lines.join(QLatin1Char('\n'));
}

bool PartitionMap::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const int segment = segmentAt(help->pos());
        if (segment < 0) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), toolTipOf(segment), this, m_rects[segment]);
        }
        return true;
    }
    return QWidget::event(event);
}

void PartitionMap::paintSegment(QPainter &painter, int segment) const
{
    const LayoutSegment &s = m_layout.segments[segment];
    // The right pixel column parts a segment from the next one.
    const QRect r = m_rects[segment].adjusted(0, 0, -1, -1);
    if (r.width() <= 0 || r.height() <= 0)
        return;
    const QPalette &pal = palette();
    const QFontMetrics fm = fontMetrics();
    QColor text;
    QStringList lines;
    const QString size = Model::sizeText(s.bytes);
    const int room = r.width() - 2 * kPad;
    auto fits = [&](const QString &line) { return fm.horizontalAdvance(line) <= room; };

    switch (s.kind) {
    case LayoutSegment::Free:
        painter.fillRect(r, pal.color(QPalette::Base));
        painter.fillRect(r, QBrush(pal.color(QPalette::Mid), Qt::BDiagPattern));
        painter.setPen(QPen(pal.color(QPalette::Mid), 1, Qt::DashLine));
        painter.drawRect(r);
        text = pal.color(QPalette::Text);
        lines << tr("free") << size;
        break;
    case LayoutSegment::Extended: {
        painter.fillRect(r, pal.color(QPalette::AlternateBase));
        painter.setPen(pal.color(QPalette::Text));
        painter.drawRect(r);
        const QString title = tr("%1: extended %2").arg(s.number).arg(size);
        const QRect strip(r.left() + kPad, r.top(), room, fm.height() + 4);
        painter.drawText(strip, Qt::AlignLeft | Qt::AlignVCenter,
                         fm.elidedText(fits(title) ? title : QString::number(s.number), Qt::ElideRight, room));
        return;
    }
    case LayoutSegment::Partition: {
        const QColor fill = fillOf(s.fsType);
        painter.fillRect(r, fill);
        painter.setPen(fill.darker(160));
        painter.drawRect(r);
        text = textOn(fill);
        const QString head = s.name.isEmpty() ? QString::number(s.number) : tr("%1: %2").arg(s.number).arg(s.name);
        lines << (fits(head) ? head : fm.elidedText(head, Qt::ElideRight, room));
        // A name cut to less than two letters says nothing.
        if (lines.last().size() < QString::number(s.number).size() + 5)
            lines.last() = QString::number(s.number);
        lines << size;
        if (!s.fsType.isEmpty())
            lines << s.fsType;
        break;
    }
    }

    // What fits: whole lines only, as many as the height takes.
    const int maxLines = qMax(0, (r.height() - 2 * kPad) / fm.lineSpacing());
    QStringList shown;
    for (const QString &line : std::as_const(lines)) {
        if (shown.size() < maxLines && fits(line))
            shown << line;
    }
    if (shown.isEmpty())
        return;
    painter.setPen(text);
    const int height = int(shown.size()) * fm.lineSpacing();
    int y = r.top() + (r.height() - height) / 2;
    for (const QString &line : std::as_const(shown)) {
        painter.drawText(QRect(r.left() + kPad, y, room, fm.lineSpacing()), Qt::AlignHCenter | Qt::AlignVCenter, line);
        y += fm.lineSpacing();
    }
}

void PartitionMap::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_layout.segments.isEmpty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(kPad, 0, -kPad, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(m_layout.reason, Qt::ElideRight, width() - 2 * kPad));
        return;
    }
    for (int i = 0; i < m_layout.segments.size(); ++i)
        paintSegment(painter, i);
    if (m_current < 0 || m_current >= m_rects.size())
        return;
    // The highlight: a frame in the palette's highlight colour with a line of its
    // text colour inside, so that it shows on every fill.
    const QRect r = m_rects[m_current].adjusted(0, 0, -1, -1);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 3));
    painter.drawRect(r.adjusted(1, 1, -1, -1));
    painter.setPen(QPen(palette().color(QPalette::HighlightedText), 1));
    painter.drawRect(r.adjusted(3, 3, -3, -3));
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = r.adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

} // namespace Applications::DriveScope
