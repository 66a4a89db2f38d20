// The platform's drive list: every drive the node service reports, with its
// node path, entry type and display name, single selection, per-entry flags
// and tooltips. It follows drives that appear and disappear.
#pragma once
#include <QAbstractItemModel>
#include <QMap>
#include <QStringList>
#include <QWidget>

#include "platform/Nodes.h"

class QStandardItem;
class QStandardItemModel;
class QTreeView;

namespace Libraries::Widgets::DriveSelection {

class ListWatcher;

class Widget : public QWidget {
    Q_OBJECT
public:
    enum Role { PathRole = Qt::UserRole, TypeRole = Qt::UserRole + 1, NameRole = Qt::UserRole + 2 };
    enum EntryType { DriveEntry = 2 };
    // Entry flags: a greyed entry, and one whose tooltip is shown. An entry for
    // which the application has nothing to show carries both (Unsupported, 6);
    // it stays selectable.
    enum EntryFlag : quint32 { EntryGreyed = 0x2, EntryTooltip = 0x4, EntryUnsupported = 0x6 };

    explicit Widget(QWidget *parent = nullptr);
    ~Widget() override;

    // The list model: one row per entry, column 0 carrying the roles above.
    // Rows of new drives are inserted (rowsInserted) as they appear.
    QAbstractItemModel *model() const;
    QTreeView *view() const;

    // Node paths of the selected entries, in list order (at most one).
    QStringList selection() const;
    // Selects the entry of `path`; false when the list has no such entry.
    bool select(const QString &path);
    // Index of the entry of `path` in model(); invalid when absent.
    QModelIndex modelIndexForNode(const QString &path) const;

    // Flags by node path of every flagged entry.
    QMap<QString, quint32> entryFlags() const;
    // Replaces all entry flags: entries absent from `flags` get none.
    void setEntryFlags(const QMap<QString, quint32> &flags);
    // The tooltip shown for `path` while the entry carries EntryTooltip.
    void setEntryTooltip(const QString &path, const QString &text);

    // Flags of the list and of its entry categories, kept for the application.
    // This list holds one category of entries, drives.
    quint32 categoryFlags(int category) const;
    void setCategoryFlags(int category, quint32 flags);
    quint32 flags() const;
    void setFlags(quint32 flags);

    // Fits the columns to the entries and the widget's width.
    void resizeColumns();

public slots:
    // Lists the drives again: removes entries that are gone, inserts new ones
    // and updates names, keeping flags and the selection of the others.
    void refresh();

signals:
    void selectionChanged();

private:
    void applyFlags(QStandardItem *item);

    QStandardItemModel *m_model;
    QTreeView *m_view;
    QMap<QString, quint32> m_entryFlags;
    QMap<QString, QString> m_tooltips;
    QMap<int, quint32> m_categoryFlags;
    quint32 m_flags = 0;
    ListWatcher *m_watcher = nullptr;
};

} // namespace Libraries::Widgets::DriveSelection
