// The program's only window: the drive list on the left, the nine tabs of the
// shown drive on the right. Keeps the record of the shown drive and refreshes
// it when the node watcher reports a change.
#pragma once
#include <QModelIndex>
#include <QString>
#include <array>
#include <memory>

#include "app/DriveLoader.h"
#include "app/NodeHandler.h"
#include "app/widgets/QuillMainWindow.h"
#include "model/Acquisition.h"
#include "model/DriveData.h"

class QLabel;
class QTableView;

namespace Applications::DriveScope {

namespace Ui {
class MainWindow;
}
namespace Model {
class Ata;
class Group;
} // namespace Model

class MainWindow : public Libraries::Widgets::Quill::MainWindow {
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    // The record shown; null until the first selection or node event.
    const DriveData *current() const { return m_current.get(); }
    // The node shown and watched; empty when none.
    const QString &currentNode() const { return m_node; }
    const Handler::Node *nodeHandler() const { return m_handler; }
    // What the drive source said about itself (missing rights, a drive left
    // asleep), as shown at the foot of the window; empty when nothing was said.
    QString sourceNotice() const;

    // Shows `record` in place of the current one, which is destroyed.
    void setRecord(std::unique_ptr<DriveData> record);

    // Writes the report of the shown drive (or of every drive) to `file`, text
    // or JSON, byte for byte as drivescope-report writes it. False with a
    // sentence in *error when there is nothing to write or the file cannot be.
    bool saveReport(const QString &file, bool allDrives, bool json, QString *error);
    // The selected rows of `view` as text: the cells of a row separated by
    // tabs, one row per line.
    static QString selectedRowsText(const QTableView *view);
    // The tab of `view` as the text report prints it.
    QString tabReportText(const QTableView *view) const;
    // Asks the drive source for full drive access (one password prompt) and,
    // once answered, reads the shown drive again; does nothing where none is offered.
    void askForFullAccess();

public slots:
    void on_driveselect_selectionChanged();
    void driveSelectModelRowsInserted(const QModelIndex &parent, int first, int last);

signals:
    void windowOpened(quint32 pow);
    // A selection was shown: after every run of Show selection that replaced
    // the record (`path` empty for an empty selection).
    void driveShown(const QString &path);

private slots:
    void on_btnReload_clicked();
    void on_tbInfos_currentChanged(int index);
    void nodeEvent(QString node, Applications::DriveScope::Handler::Node::Event type);
    void onWindowOpened(quint32 pow);
    void driveLoaded(const QString &path, const QString &name, Applications::DriveScope::DriveData *record);

protected:
    void timerEvent(QTimerEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void helpRequested() override;

private:
    void showSelection();
    void apply(const DriveData &data);
    struct TabWiring;
    static const std::array<TabWiring, 9> &tabWiring();
    // Shows `data` on the tab of `page`; false when no tab has that page.
    bool applyPage(QWidget *page, const DriveData &data);
    void applyTab(const TabWiring &wiring, const DriveData &data);
    void setGroupTab(Model::Group *model, QTableView *view);
    void setAtaTab(Model::Ata *ata, QTableView *view);
    void setSmartTab(QAbstractItemModel *smart, QTableView *view);
    void killRefreshTimer();
    void showSourceNotices();
    // Copy, Copy all, Save report, the keys between tabs and for refresh.
    void setupActions();
    void askAndSaveReport(bool allDrives);
    void fullAccessAnswered();

    std::unique_ptr<Ui::MainWindow> m_ui;
    QString m_node;
    std::unique_ptr<DriveData> m_current;
    int m_refreshTimer = 0;
    Handler::Node *m_handler = nullptr;
    QThread *m_thread = nullptr;
    // Keeps the volume-server control interface between drives.
    Acquisition m_acquisition;
    // Reads the selected drive off the window's thread.
    DriveLoader *m_loader = nullptr;
    // Each sentence of the drive source is shown once, in the status bar.
    QLabel *m_notice = nullptr;
    QStringList m_notices;
};

} // namespace Applications::DriveScope
