#include "app/widgets/DriveSelection.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStandardItemModel>
#include <QStyle>
#include <QThread>
#include <QTreeView>
#include <QVBoxLayout>
#include <atomic>

namespace Libraries::Widgets::DriveSelection {

// Blocks in the drive list's device client and reports every event; the
// widget then lists the drives again on its own thread.
class ListWatcher : public QThread {
    Q_OBJECT
public:
    explicit ListWatcher(Ref<DeviceClient> client) : m_client(std::move(client)) {}

    void finish()
    {
        m_stop = true;
        m_client->interrupt();
        wait();
    }

signals:
    void listChanged();

protected:
    void run() override
    {
        // Both backends keep an interrupt that comes before the wait begins, and
        // finish() sets the stop flag before it interrupts: a plain blocking wait.
        while (!m_stop) {
            if (!m_client->wait(0xFFFFFFFFu))
                continue;
            if (m_stop)
                break;
            const quint32 type = m_client->eventType();
            m_client->acknowledge();
            if (type != 0)
                emit listChanged();
        }
    }

private:
    Ref<DeviceClient> m_client;
    std::atomic<bool> m_stop{false};
};

Widget::Widget(QWidget *parent) : QWidget(parent), m_model(new QStandardItemModel(this)), m_view(new QTreeView(this))
{
    m_model->setColumnCount(1);
    m_view->setObjectName(QStringLiteral("driveList"));
    m_view->setModel(m_model);
    m_view->setHeaderHidden(true);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &Widget::selectionChanged);

    // Listed once the owner had the chance to connect to the model's rowsInserted.
    QMetaObject::invokeMethod(this, &Widget::refresh, Qt::QueuedConnection);

    if (Ref<DeviceClient> client = Services::Nodes::Backend::instance().driveListClient()) {
        m_watcher = new ListWatcher(std::move(client));
        connect(m_watcher, &ListWatcher::listChanged, this, &Widget::refresh, Qt::QueuedConnection);
        m_watcher->start(QThread::LowPriority);
    }
}

Widget::~Widget()
{
    if (m_watcher) {
        m_watcher->finish();
        delete m_watcher;
    }
}

QAbstractItemModel *Widget::model() const
{
    return m_model;
}

QTreeView *Widget::view() const
{
    return m_view;
}

QStringList Widget::selection() const
{
    QStringList paths;
    const QModelIndexList rows = m_view->selectionModel()->selectedRows(0);
    QModelIndexList sorted = rows;
    std::sort(sorted.begin(), sorted.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    for (const QModelIndex &index : sorted)
        paths.append(index.data(PathRole).toString());
    return paths;
}

bool Widget::select(const QString &path)
{
    const QModelIndex index = modelIndexForNode(path);
    if (!index.isValid())
        return false;
    m_view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_view->setCurrentIndex(index);
    return true;
}

QModelIndex Widget::modelIndexForNode(const QString &path) const
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QModelIndex index = m_model->index(row, 0);
        if (index.data(PathRole).toString() == path)
            return index;
    }
    return {};
}

QMap<QString, quint32> Widget::entryFlags() const
{
    return m_entryFlags;
}

void Widget::setEntryFlags(const QMap<QString, quint32> &flags)
{
    m_entryFlags.clear();
    for (auto it = flags.cbegin(); it != flags.cend(); ++it) {
        if (it.value() != 0)
            m_entryFlags.insert(it.key(), it.value());
    }
    for (int row = 0; row < m_model->rowCount(); ++row)
        applyFlags(m_model->item(row, 0));
}

void Widget::setEntryTooltip(const QString &path, const QString &text)
{
    m_tooltips.insert(path, text);
    const QModelIndex index = modelIndexForNode(path);
    if (index.isValid())
        applyFlags(m_model->itemFromIndex(index));
}

quint32 Widget::categoryFlags(int category) const
{
    return m_categoryFlags.value(category, 0);
}

void Widget::setCategoryFlags(int category, quint32 flags)
{
    m_categoryFlags.insert(category, flags);
}

quint32 Widget::flags() const
{
    return m_flags;
}

void Widget::setFlags(quint32 flags)
{
    m_flags = flags;
}

void Widget::resizeColumns()
{
    m_view->resizeColumnToContents(0);
    if (m_view->columnWidth(0) < m_view->viewport()->width())
        m_view->setColumnWidth(0, m_view->viewport()->width());
}

void Widget::applyFlags(QStandardItem *item)
{
    if (!item)
        return;
    const QString path = item->data(PathRole).toString();
    const quint32 flags = m_entryFlags.value(path, 0);
    if (flags & EntryGreyed)
        item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    else
        item->setData(QVariant(), Qt::ForegroundRole);
    if ((flags & EntryTooltip) && m_tooltips.contains(path))
        item->setToolTip(m_tooltips.value(path));
    else
        item->setData(QVariant(), Qt::ToolTipRole);
}

void Widget::refresh()
{
    const QList<Services::Nodes::DriveEntry> drives = Services::Nodes::Backend::instance().drives();
    QStringList paths;
    for (const auto &drive : drives)
        paths.append(drive.path);

    // A selected entry that goes away leaves nothing selected: the view would
    // otherwise move the selection to a neighbour, showing a drive nobody chose.
    for (const QString &selected : selection()) {
        if (!paths.contains(selected)) {
            m_view->selectionModel()->clear();
            break;
        }
    }
    for (int row = m_model->rowCount() - 1; row >= 0; --row) {
        const QString path = m_model->item(row, 0)->data(PathRole).toString();
        if (!paths.contains(path)) {
            m_model->removeRow(row);
            m_entryFlags.remove(path);
            m_tooltips.remove(path);
        }
    }

    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (int position = 0; position < drives.size(); ++position) {
        const auto &drive = drives.at(position);
        const QString label = drive.label.isEmpty() ? drive.path : drive.label;
        const QModelIndex existing = modelIndexForNode(drive.path);
        if (existing.isValid()) {
            QStandardItem *item = m_model->itemFromIndex(existing);
            if (item->text() != label) {
                item->setText(label);
                item->setData(label, NameRole);
            }
            continue;
        }
        auto *item = new QStandardItem(icon, label);
        item->setEditable(false);
        item->setData(drive.path, PathRole);
        item->setData(drive.type, TypeRole);
        item->setData(label, NameRole);
        applyFlags(item);
        m_model->insertRow(qMin(position, m_model->rowCount()), item);
    }
    resizeColumns();
}

} // namespace Libraries::Widgets::DriveSelection

#include "DriveSelection.moc"
