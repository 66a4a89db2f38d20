// The window's everyday actions: Copy and Copy all on every tab, Save report,
// and the keys that move between tabs and refresh.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QSaveFile>
#include <QShortcut>
#include <QTableView>

#include "app/MainWindow.h"
#include "app/widgets/DriveSelection.h"
#include "platform/Nodes.h"
#include "report/Report.h"
#include "ui_MainWindow.h"

namespace Applications::DriveScope {

namespace {

const char Context[] = "Applications::DriveScope::MainWindow";

QString text(const char *key, const char *fallback)
{
    return QCoreApplication::translate(Context, fallback, key);
}

} // namespace

QString MainWindow::selectedRowsText(const QTableView *view)
{
    const QAbstractItemModel *model = view->model();
    if (!model || !view->selectionModel())
        return QString();
    QList<int> rows;
    for (const QModelIndex &index : view->selectionModel()->selectedIndexes()) {
        if (!rows.contains(index.row()))
            rows << index.row();
    }
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (int row : rows) {
        // A title row spans the table and has its text alone.
        const int columns = view->columnSpan(row, 0) > 1 ? 1 : model->columnCount();
        QStringList cells;
        for (int column = 0; column < columns; ++column)
            cells << model->data(model->index(row, column)).toString();
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString MainWindow::tabReportText(const QTableView *view) const
{
    for (int i = 0; i < m_ui->tbInfos->count(); ++i) {
        if (m_ui->tbInfos->widget(i)->isAncestorOf(view))
            return tabText(m_current.get(), Model::Tab(i)).join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    return QString();
}

bool MainWindow::saveReport(const QString &file, bool allDrives, bool json, QString *error)
{
    QList<Services::Nodes::DriveEntry> drives;
    if (allDrives) {
        drives = Services::Nodes::Backend::instance().drives();
    } else if (!m_node.isEmpty() && m_current) {
        drives << Services::Nodes::DriveEntry{m_node, m_current->name, 2};
    } else {
        if (error)
            *error = text("dlg.err.savereport.nodrive", "No drive is shown.");
        return false;
    }
    // Only regular files: a device node given as the output would be replaced.
    const QFileInfo target(file);
    if (target.exists() && !target.isFile()) {
        if (error)
            *error =
                text("dlg.err.savereport.notfile", "Will not write %1: it exists and is not a regular file.").arg(file);
        return false;
    }
    const QByteArray bytes = writeReport(m_acquisition, drives, json).toUtf8();
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        if (error)
            *error = text("dlg.err.savereport.text", "Could not write %1: %2").arg(file, out.errorString());
        return false;
    }
    return true;
}

void MainWindow::askAndSaveReport(bool allDrives)
{
    const QString textFilter = text("dlg.savereport.text", "Text (*.txt)");
    const QString jsonFilter = text("dlg.savereport.json", "JSON (*.json)");
    QString filter = textFilter;
    QString file = QFileDialog::getSaveFileName(this, text("dlg.savereport", "Save report"), QString(),
                                                textFilter + QStringLiteral(";;") + jsonFilter, &filter);
    if (file.isEmpty())
        return;
    const bool json = filter == jsonFilter || file.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
    if (QFileInfo(file).suffix().isEmpty())
        file += json ? QStringLiteral(".json") : QStringLiteral(".txt");
    QString error;
    if (!saveReport(file, allDrives, json, &error))
        QMessageBox::critical(this, text("dlg.err.opendrive", "Error"), error, QMessageBox::Ok);
}

void MainWindow::setupActions()
{
    Ui::MainWindow &ui = *m_ui;
    for (QTableView *view :
         {ui.tvGeneral, ui.tvPart, ui.tvAta, ui.tvSmart, ui.tvNVMe, ui.tvUSB, ui.tvSCSI, ui.tvSDeMMC, ui.tvPCI}) {
        // Several rows at once: people copy a handful of serial numbers and ids.
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setContextMenuPolicy(Qt::ActionsContextMenu);
        auto *copy = new QAction(text("main.menu.copy", "Copy"), view);
        copy->setShortcut(QKeySequence::Copy);
        copy->setShortcutContext(Qt::WidgetShortcut);
        connect(copy, &QAction::triggered, view, [view] {
            const QString rows = selectedRowsText(view);
            if (!rows.isEmpty())
                QApplication::clipboard()->setText(rows);
        });
        auto *copyAll = new QAction(text("main.menu.copyall", "Copy all"), view);
        connect(copyAll, &QAction::triggered, view,
                [this, view] { QApplication::clipboard()->setText(tabReportText(view)); });
        view->addActions({copy, copyAll});
    }

    auto *save = new QMenu(ui.btnSaveReport);
    save->addAction(text("main.menu.savereport.drive", "Shown drive…"), this, [this] { askAndSaveReport(false); });
    save->addAction(text("main.menu.savereport.all", "All drives…"), this, [this] { askAndSaveReport(true); });
    ui.btnSaveReport->setMenu(save);
    auto *saveKey = new QShortcut(QKeySequence::Save, this, this, [this] { askAndSaveReport(false); });
    saveKey->setContext(Qt::WindowShortcut);

    // Offered only where this process cannot read the drives itself.
    ui.btnFullAccess->setVisible(Services::Nodes::Backend::instance().fullAccessOffered());
    connect(ui.btnFullAccess, &QPushButton::clicked, this, &MainWindow::askForFullAccess);

    ui.btnReload->setShortcut(QKeySequence(Qt::Key_F5));
    ui.btnReload->setToolTip(text("main.button.refresh.tooltip", "Read the shown drive again (F5)"));

    // Between tabs from anywhere in the window, the drive list included.
    const auto step = [this](int by) {
        const int count = m_ui->tbInfos->count();
        m_ui->tbInfos->setCurrentIndex((m_ui->tbInfos->currentIndex() + by + count) % count);
    };
    for (const QKeySequence &key : {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        new QShortcut(key, this, this, [step] { step(1); });
    for (const QKeySequence &key :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
          QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
        new QShortcut(key, this, this, [step] { step(-1); });
    // The tab bar takes the focus by Tab like the list and the tables, and shows it.
    ui.tbInfos->tabBar()->setFocusPolicy(Qt::StrongFocus);
}

void MainWindow::askForFullAccess()
{
    auto &backend = Services::Nodes::Backend::instance();
    if (!backend.fullAccessOffered())
        return;
    m_ui->btnFullAccess->setEnabled(false);
    const QPointer<MainWindow> self(this);
    backend.requestFullAccess([self](bool) {
        if (QCoreApplication::instance())
            QMetaObject::invokeMethod(
                qApp,
                [self] {
                    if (self)
                        self->fullAccessAnswered();
                },
                Qt::QueuedConnection);
    });
}

void MainWindow::fullAccessAnswered()
{
    m_ui->btnFullAccess->setEnabled(true);
    m_ui->btnFullAccess->setVisible(Services::Nodes::Backend::instance().fullAccessOffered());
    // The shown drive again, through the helper or (refused) as before.
    showSelection();
}

} // namespace Applications::DriveScope
