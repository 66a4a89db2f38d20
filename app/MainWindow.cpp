#include "app/MainWindow.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QResizeEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QTimerEvent>

#include "app/CellStyle.h"
#include "app/Resources.h"
#include "app/widgets/DriveSelection.h"
#include "model/Ata.h"
#include "model/General.h"
#include "model/NVMe.h"
#include "model/OneColumn.h"
#include "model/PCI.h"
#include "model/Partitions.h"
#include "model/SCSI.h"
#include "model/SDeMMC.h"
#include "model/Smart.h"
#include "model/TabStatus.h"
#include "model/USB.h"
#include "platform/Log.h"
#include "platform/Nodes.h"
#include "platform/Sys.h"
#include "platform/Version.h"
#include "ui_MainWindow.h"

namespace Applications::DriveScope {

namespace {

using DriveList = Libraries::Widgets::DriveSelection::Widget;

const char Context[] = "Applications::DriveScope::MainWindow";
const int DefaultChannel = 0;
const int RefreshDelayMs = 500;

// Category and list flags whose meaning the drive list defines; the window
// sets them at start-up and the list keeps them.
const int DriveListCategories[] = {12, 13, 15, 16, 17};
const quint32 CategoryFlag = 0x1;
const quint32 ListFlags = 0x1491;

const char OkIcon[] = ":images/status.ok.16.png";
const char WarningIcon[] = ":images/status.warning.16.png";
const char ErrorIcon[] = ":images/status.err.14.png";

QString text(const char *key, const char *fallback)
{
    return QCoreApplication::translate(Context, fallback, key);
}

QPixmap verdictPixmap(Model::Verdict verdict)
{
    switch (verdict) {
    case Model::Verdict::Ok:
        return QPixmap(QString::fromLatin1(OkIcon));
    case Model::Verdict::Warning:
        return QPixmap(QString::fromLatin1(WarningIcon));
    case Model::Verdict::Error:
        break;
    }
    return QPixmap(QString::fromLatin1(ErrorIcon));
}

bool hosted()
{
    return Sys::info(Sys::InfoHosted) != 0;
}

// Sections beyond the model's columns do not exist; the header must not be asked about them.
void setResizeMode(QHeaderView *header, int section, QHeaderView::ResizeMode mode)
{
    if (section < header->count())
        header->setSectionResizeMode(section, mode);
}

void resizeSection(QHeaderView *header, int section, int size)
{
    if (section < header->count())
        header->resizeSection(section, size);
}

// setModel() leaves selection models behind as children of the view and of its
// headers (each header makes one, then takes the view's): models change only
// when they must, and every selection model but the view's goes.
void setViewModel(QAbstractItemView *view, QAbstractItemModel *model)
{
    if (view->model() == model)
        return;
    view->setModel(model);
    for (QItemSelectionModel *left : view->findChildren<QItemSelectionModel *>()) {
        if (left != view->selectionModel())
            delete left;
    }
}

std::unique_ptr<DriveData> emptyRecord(const QString &name)
{
    auto record = std::make_unique<DriveData>();
    record->name = name;
    return record;
}

} // namespace

MainWindow::MainWindow() : Libraries::Widgets::Quill::MainWindow(nullptr, Qt::WindowFlags()), m_ui(new Ui::MainWindow)
{
    initResources();
    setWindowImage(QStringLiteral("icon.drivescope.16.png"));
    qRegisterMetaType<Handler::Node::Event>("Applications::DriveScope::Handler::Node::Event");

    m_ui->setupUi(this);
    setupActions();

    m_ui->lblNonModNative->setText(text("main.nonmodnative", "UNMODIFIED DATA IS AVAILABLE ON %1")
                                       .arg(Libraries::Quill::Tools::Info::productBaseName() + QStringLiteral("/S")));
    m_ui->lblNonModNative->setVisible(hosted());

    m_ui->tbInfos->setCurrentIndex(0);
    for (QTableView *view : {m_ui->tvGeneral, m_ui->tvPart, m_ui->tvAta, m_ui->tvSmart, m_ui->tvNVMe, m_ui->tvUSB,
                             m_ui->tvSCSI, m_ui->tvSDeMMC, m_ui->tvPCI})
        view->setItemDelegate(new CellStyle(view));

    auto *list = m_ui->driveselect;
    for (int category : DriveListCategories)
        list->setCategoryFlags(category, list->categoryFlags(category) | CategoryFlag);
    list->setFlags(list->flags() | ListFlags);
    connect(list->model(), &QAbstractItemModel::rowsInserted, this, &MainWindow::driveSelectModelRowsInserted);

    // Every tab starts disabled with its "no data" status; no record is current yet.
    apply(*emptyRecord(QStringLiteral("Unnamed")));

    connect(this, &MainWindow::windowOpened, this, &MainWindow::onWindowOpened, Qt::QueuedConnection);

    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("NodeHandler"));
    m_handler = new Handler::Node;
    m_handler->moveToThread(m_thread);
    connect(m_handler, &Handler::Node::nodeEvent, this, &MainWindow::nodeEvent);
    connect(m_thread, &QThread::started, m_handler, &Handler::Node::process);
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    // Direct: quitting must not wait for the GUI thread, which may be joining.
    connect(m_handler, &Handler::Node::finished, m_thread, &QThread::quit, Qt::DirectConnection);
    connect(m_handler, &Handler::Node::finished, m_handler, &QObject::deleteLater);
    m_thread->start(QThread::InheritPriority);

    m_loader = new DriveLoader(this);
    connect(m_loader, &DriveLoader::loaded, this, &MainWindow::driveLoaded);
}

MainWindow::~MainWindow()
{
    killRefreshTimer();
    delete m_loader; // waits for a drive being read
    // The views drop their adapters before the models go.
    apply(*emptyRecord(QString()));
    m_ui.reset();
    m_current.reset();
    // The watcher holds a client of the node service, which must not outlive it.
    if (m_handler) {
        m_handler->stop();
        m_thread->wait();
    }
}

void MainWindow::on_driveselect_selectionChanged()
{
    showSelection();
}

void MainWindow::on_btnReload_clicked()
{
    showSelection();
}

void MainWindow::killRefreshTimer()
{
    if (m_refreshTimer) {
        killTimer(m_refreshTimer);
        m_refreshTimer = 0;
    }
}

void MainWindow::showSelection()
{
    killRefreshTimer();

    auto *list = m_ui->driveselect;
    const QStringList selection = list->selection();
    if (selection.isEmpty()) {
        // The watcher keeps its node: selecting nothing is not a removal.
        setRecord(emptyRecord(QStringLiteral("Unnamed")));
        emit driveShown(QString());
        return;
    }

    const QString path = selection.first();
    const QModelIndex index = list->modelIndexForNode(path);
    if (!index.isValid() || index.row() < 0 || index.column() < 0 || !index.model())
        return;

    QString name = path;
    const QVariant display = index.model()->data(index, DriveList::NameRole);
    if (display.isValid() && display.canConvert<QString>())
        name = display.toString();

    m_node = path;
    // The tabs say the drive is being read until the loader hands over its record.
    auto pending = emptyRecord(name);
    pending->pending = true;
    setRecord(std::move(pending));
    m_loader->load(path, name);
}

void MainWindow::driveLoaded(const QString &path, const QString &name, DriveData *loaded)
{
    std::unique_ptr<DriveData> record(loaded);
    if (path != m_node)
        return; // another drive was selected meanwhile
    if (!record) {
        record = emptyRecord(name);
        QMessageBox::critical(this, text("dlg.err.opendrive", "Error"),
                              text("dlg.err.opendrive.text", "Could not open drive %1").arg(name), QMessageBox::Ok);
    }

    setRecord(std::move(record));
    showSourceNotices();
    m_handler->setNode(m_node);
    emit driveShown(path);
}

void MainWindow::showSourceNotices()
{
    bool added = false;
    for (const QString &line : Services::Nodes::Backend::instance().errors()) {
        if (!m_notices.contains(line)) {
            m_notices << line;
            added = true;
        }
    }
    if (!added)
        return;
    if (!m_notice) {
        m_notice = new QLabel(this);
        m_notice->setObjectName(QStringLiteral("lblSourceNotice"));
        m_notice->setWordWrap(true);
        m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
        statusBar()->addWidget(m_notice, 1);
    }
    m_notice->setText(m_notices.join(QLatin1Char('\n')));
    statusBar()->show();
}

QString MainWindow::sourceNotice() const
{
    return m_notice ? m_notice->text() : QString();
}

void MainWindow::setRecord(std::unique_ptr<DriveData> record)
{
    apply(*record);
    m_current = std::move(record);
}

// How the window shows each tab: its page and table in the form, how the table
// is laid out, the labels of its status lines in order and the verdict icon
// beside them. Model::tabState says what the lines and the verdict are.
struct MainWindow::TabWiring {
    enum class Layout { Rows, Ata, Smart };
    using Label = QLabel *Ui::MainWindow::*;
    Model::Tab tab;
    QWidget *Ui::MainWindow::*page;
    QTableView *Ui::MainWindow::*view;
    Layout layout;
    Label lines[2];
    Label icon;
    // A second line the tab does not have hides its label instead of leaving it empty.
    bool hideMissingLine;
};

const std::array<MainWindow::TabWiring, 9> &MainWindow::tabWiring()
{
    using Layout = TabWiring::Layout;
    using Model::Tab;
    using U = Ui::MainWindow;
    static const std::array<TabWiring, 9> tabs = {{
        {Tab::General, &U::tbGeneral, &U::tvGeneral, Layout::Rows, {}, nullptr, false},
        {Tab::Partitions, &U::tbPart, &U::tvPart, Layout::Rows, {&U::lblPart}, nullptr, false},
        {Tab::Ata,
         &U::tbAta,
         &U::tvAta,
         Layout::Ata,
         {&U::lblAtaStandard, &U::lblAtaChecksumState},
         &U::lblAtaChecksumIcon,
         false},
        {Tab::Smart, &U::tbSmart, &U::tvSmart, Layout::Smart, {&U::lblSmartHealthState}, &U::lblSmartHealthIcon, false},
        {Tab::NVMe,
         &U::tbNVMe,
         &U::tvNVMe,
         Layout::Rows,
         {&U::lblNVMeState, &U::lblNVMeHealthState},
         &U::lblNVMeHealthIcon,
         true},
        {Tab::USB, &U::tbUSB, &U::tvUSB, Layout::Rows, {&U::lblUSBState}, nullptr, false},
        {Tab::SCSI, &U::tbSCSI, &U::tvSCSI, Layout::Rows, {&U::lblSCSIState}, nullptr, false},
        {Tab::SDeMMC, &U::tbSDeMMC, &U::tvSDeMMC, Layout::Rows, {&U::lblSDeMMCState}, nullptr, false},
        {Tab::PCI, &U::tbPCI, &U::tvPCI, Layout::Rows, {&U::lblPCI}, nullptr, false},
    }};
    return tabs;
}

void MainWindow::apply(const DriveData &data)
{
    for (const TabWiring &wiring : tabWiring()) {
        applyTab(wiring, data);
        QWidget *page = (*m_ui).*wiring.page;
        if (!m_ui->tbInfos->setPageEnabled(page, Model::tabModel(data, wiring.tab) != nullptr))
            qWarning() << "Tab not found: " << page;
    }
}

bool MainWindow::applyPage(QWidget *page, const DriveData &data)
{
    for (const TabWiring &wiring : tabWiring()) {
        if ((*m_ui).*wiring.page == page) {
            applyTab(wiring, data);
            return true;
        }
    }
    return false;
}

void MainWindow::applyTab(const TabWiring &wiring, const DriveData &data)
{
    Ui::MainWindow &ui = *m_ui;
    QTableView *view = ui.*wiring.view;
    QAbstractItemModel *model = Model::tabModel(data, wiring.tab);
    switch (wiring.layout) {
    case TabWiring::Layout::Rows:
        setGroupTab(qobject_cast<Model::Group *>(model), view);
        break;
    case TabWiring::Layout::Ata:
        setAtaTab(qobject_cast<Model::Ata *>(model), view);
        break;
    case TabWiring::Layout::Smart:
        setSmartTab(model, view);
        break;
    }
    if (wiring.tab == Model::Tab::Partitions)
        ui.mapPart->showLayout(data.partitions ? &data.partitions->layout() : nullptr, view);

    const Model::TabState state = Model::tabState(&data, wiring.tab, hosted());
    for (int line = 0; line < 2 && wiring.lines[line]; ++line) {
        QLabel *label = ui.*wiring.lines[line];
        label->setText(state.lines.value(line));
        if (wiring.hideMissingLine && line > 0)
            label->setVisible(line < state.lines.size());
    }
    if (wiring.icon) {
        // The verdict shows while the tab has a model to judge.
        QLabel *icon = ui.*wiring.icon;
        const bool shown = model && state.verdict;
        icon->setPixmap(shown ? verdictPixmap(*state.verdict) : QPixmap());
        icon->setVisible(shown);
    }
}

void MainWindow::setGroupTab(Model::Group *model, QTableView *view)
{
    auto *adapter = qobject_cast<Model::OneColumn *>(view->model());
    if (!model) {
        setViewModel(view, nullptr);
        delete adapter;
        return;
    }

    Model::OneColumn *replaced = nullptr;
    if (!adapter || adapter->source() != model) {
        replaced = adapter;
        adapter = new Model::OneColumn(model);
        setViewModel(view, adapter);
    }
    view->clearSpans();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    QHeaderView *header = view->horizontalHeader();
    setResizeMode(header, 0, QHeaderView::Fixed);
    setResizeMode(header, 1, QHeaderView::Stretch);
    const int nameWidth = view->width() / 3;
    header->setMinimumSectionSize(nameWidth);
    resizeSection(header, 0, nameWidth);
    for (int row : adapter->headerRows())
        view->setSpan(row, 0, 1, 2);
    delete replaced;
}

void MainWindow::setAtaTab(Model::Ata *ata, QTableView *view)
{
    if (view->model() != ata) {
        view->clearSpans();
        setViewModel(view, ata);
    }
    view->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setResizeMode(view->horizontalHeader(), 0, QHeaderView::Stretch);
    setResizeMode(view->horizontalHeader(), 1, QHeaderView::Stretch);
    if (ata) {
        for (int row : ata->headerRows())
            view->setSpan(row, 0, 1, 2);
    }
}

void MainWindow::setSmartTab(QAbstractItemModel *smart, QTableView *view)
{
    setViewModel(view, smart);

    QHeaderView *header = view->horizontalHeader();
    setResizeMode(header, 0, QHeaderView::Fixed);
    setResizeMode(header, 1, QHeaderView::Stretch);
    for (int section : {2, 3, 4})
        setResizeMode(header, section, QHeaderView::Fixed);
    setResizeMode(header, 5, QHeaderView::ResizeToContents);

    // The fixed columns fit the widest of their values and their header text.
    for (int section : {0, 2, 3, 4}) {
        if (section < header->count())
            view->resizeColumnToContents(section);
    }
    view->verticalHeader()->setDefaultSectionSize(22);
}

void MainWindow::on_tbInfos_currentChanged(int index)
{
    if (index < 0 || index >= m_ui->tbInfos->count() || !m_current)
        return;
    QWidget *page = m_ui->tbInfos->widget(index);
    if (!applyPage(page, *m_current))
        SysLog::write(DefaultChannel, LogLevel::Failure, QStringLiteral("Unhandled tab ") + page->objectName());
}

void MainWindow::nodeEvent(QString node, Handler::Node::Event type)
{
    if (node != m_node) {
        qWarning() << "Got node event for unexpected node" << node;
        return;
    }
    switch (type) {
    case Handler::Node::Removed:
        // A refresh still pending would only fail to open the vanished drive.
        killRefreshTimer();
        m_loader->cancel();
        setRecord(emptyRecord(QString()));
        m_handler->setNode(QString());
        break;
    case Handler::Node::Changed:
        killRefreshTimer();
        m_refreshTimer = startTimer(RefreshDelayMs);
        break;
    case Handler::Node::Added:
        break;
    }
}

void MainWindow::timerEvent(QTimerEvent *event)
{
    if (m_refreshTimer && event->timerId() == m_refreshTimer) {
        showSelection();
        return;
    }
    Libraries::Widgets::Quill::MainWindow::timerEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    Libraries::Widgets::Quill::MainWindow::resizeEvent(event);
    if (!event->isAccepted())
        return;
    if (m_current)
        applyPage(m_ui->tbInfos->currentWidget(), *m_current);
    m_ui->driveselect->resizeColumns();
}

void MainWindow::helpRequested()
{
    if (!tellHelpUrl(QStringLiteral("/Program/app.drivescope.html"), QString()))
        return;
    // The page names the version the build was made from.
    if (auto *browser = helpViewer()->findChild<QTextBrowser *>()) {
        QTextCursor at = browser->document()->find(QStringLiteral("@VERSION@"));
        if (!at.isNull())
            at.insertText(programVersion());
    }
}

void MainWindow::onWindowOpened(quint32 pow)
{
    if (pow > 0)
        QCoreApplication::quit();
}

void MainWindow::driveSelectModelRowsInserted(const QModelIndex &parent, int first, int last)
{
    if (parent.isValid())
        return;
    auto *list = m_ui->driveselect;
    const QAbstractItemModel *model = list->model();
    QMap<QString, quint32> entries = list->entryFlags();
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model->index(row, 0);
        const int type = index.data(DriveList::TypeRole).toInt();
        const QString path = index.data(DriveList::PathRole).toString();
        entries.remove(path);
        if (type != DriveList::DriveEntry)
            continue;
        if (m_acquisition.isDriveSupported(path))
            continue;
        entries.insert(path, DriveList::EntryUnsupported);
        list->setEntryTooltip(path, text("main.drive.tooltip.unsupported",
                                         "No ATA, S.M.A.R.T., SCSI, NVMe, USB or SD/eMMC data: only the General, "
                                         "Partitions and PCI tabs can show something"));
    }
    list->setEntryFlags(entries);
}

} // namespace Applications::DriveScope
