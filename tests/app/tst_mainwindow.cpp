// The main window over a simulated machine: which tabs a drive enables, the
// status lines and verdict icons, the drive list's marks, refresh coalescing,
// foreign and removal events, hosted-mode wording, widths and spans, help,
// copying, saving the report, the keyboard and a long-running window.
#include <QtTest>

#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QTextBrowser>
#include <QTreeView>

#include "DemoTree.h"
#include "TestSupport.h"
#include "app/MainWindow.h"
#include "app/Resources.h"
#include "app/widgets/DriveSelection.h"
#include "app/widgets/TabWidget.h"
#include "model/OneColumn.h"
#include "model/Smart.h"
#include "platform/Version.h"
#include "platform/sim/SimBackend.h"
#include "report/Report.h"

using namespace Applications::DriveScope;
using Handler::Node;
using Libraries::Widgets::DriveSelection::Widget;

namespace {

const QStringList Pages = {"tbGeneral", "tbPart", "tbAta", "tbSmart", "tbUSB", "tbSCSI", "tbNVMe", "tbSDeMMC", "tbPCI"};
const QString NotAvailable = QStringLiteral("DEVICE DATA NOT AVAILABLE");

// Drives are read off the window's thread: a selection is done when shown.
bool selectAndWait(MainWindow &window, Widget *list, const QString &path)
{
    QSignalSpy shown(&window, &MainWindow::driveShown);
    return list->select(path) && (shown.count() > 0 || shown.wait(10000));
}

// A record that claims every interface and has no model: the tabs' status lines alone.
std::unique_ptr<DriveData> claimingAll()
{
    auto record = std::make_unique<DriveData>();
    record->interfaces = DriveData::Ata | DriveData::Nvme | DriveData::Usb | DriveData::Scsi | DriveData::Card;
    return record;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    template <typename T = QWidget> T *child(const QString &name) const { return m_window->findChild<T *>(name); }
    Widget *list() const { return child<Widget>("driveselect"); }
    // Selects `path` in the drive list, which shows it at once.
    bool select(const QString &path)
    {
        waitForList();
        return selectAndWait(*m_window, list(), path);
    }
    void waitForList() { QTRY_COMPARE(list()->model()->rowCount(), 9); }
    QStringList enabledPages() const
    {
        QStringList pages;
        for (const QString &name : Pages) {
            if (child(name)->isEnabled())
                pages << name;
        }
        return pages;
    }
    // Nothing shown: every tab off and without a model, no verdict icon.
    void verifyEmpty()
    {
        QCOMPARE(enabledPages(), QStringList());
        for (const QString &page : Pages)
            QVERIFY(child<QTableView>("tv" + page.mid(2))->model() == nullptr);
        for (const char *icon : {"lblAtaChecksumIcon", "lblSmartHealthIcon", "lblNVMeHealthIcon"})
            QVERIFY(child<QLabel>(icon)->isHidden());
    }
    void postEvent(const QString &node, Node::Event type)
    {
        QVERIFY(QMetaObject::invokeMethod(m_window.get(), "nodeEvent", Qt::DirectConnection, Q_ARG(QString, node),
                                          Q_ARG(Applications::DriveScope::Handler::Node::Event, type)));
    }
    // Writes the demo machine with its nodes edited by `edit`.
    template <typename Edit> bool editSata(Edit edit)
    {
        QJsonObject tree = DemoTree::machine(m_shared);
        QJsonObject nodes = tree.value("nodes").toObject();
        edit(nodes);
        tree.insert("nodes", nodes);
        return DemoTree::write(m_tree, tree);
    }

    QTemporaryDir m_dir;
    const QString m_tree = m_dir.filePath("machine.json");
    const QString m_shared = TestSupport::sharedTestData();
    std::unique_ptr<MainWindow> m_window;

private Q_SLOTS:
    void initTestCase()
    {
        initResources();
        QVERIFY(DemoTree::write(m_tree, DemoTree::machine(m_shared)));
        Services::Nodes::Backend::install(Services::Nodes::Sim::createBackend(m_tree));
        QVERIFY(Services::Nodes::Backend::instance().available());
        qRegisterMetaType<Node::Event>("Applications::DriveScope::Handler::Node::Event");
    }

    void init()
    {
        m_window = std::make_unique<MainWindow>();
        m_window->resize(1024, 622);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    // Puts the demo machine back where a test changed it.
    void cleanup()
    {
        m_window.reset();
        if (Services::Nodes::Backend::instance().drives().size() != 9) {
            QVERIFY(DemoTree::write(m_tree, DemoTree::machine(m_shared)));
            QTRY_COMPARE(Services::Nodes::Backend::instance().drives().size(), 9);
        }
    }

    // Empty before any selection, and again with the selection cleared, which
    // keeps watching the drive; the RAM disk offers nothing beyond General and is
    // marked in the list, the unopenable drive is not.
    void emptyWindowAndMarkedDrives()
    {
        QVERIFY(m_window->current() == nullptr);
        verifyEmpty();
        QCOMPARE(child<QLabel>("lblSmartHealthState")->text(), NotAvailable);
        QVERIFY(child<QLabel>("lblNonModNative")->isHidden());
        m_window->setRecord(claimingAll());
        QCOMPARE(child<QLabel>("lblNVMeState")->text(), NotAvailable);
        QCOMPARE(enabledPages(), QStringList());
        QVERIFY(select(DemoTree::Sata));
        list()->view()->clearSelection();
        verifyEmpty();
        QCOMPARE(child<QLabel>("lblPart")->text(), QString("SAFE DISK ENABLED"));
        QCOMPARE(m_window->nodeHandler()->node(), DemoTree::Sata);
        QCOMPARE(list()->entryFlags().keys(), QStringList{DemoTree::Plain});
        QCOMPARE(list()->modelIndexForNode(DemoTree::Plain).data(Qt::ForegroundRole).value<QBrush>().color(),
                 list()->palette().color(QPalette::Disabled, QPalette::Text));
        QVERIFY(!list()->modelIndexForNode(DemoTree::Sata).data(Qt::ForegroundRole).isValid());
    }

    void selectingDriveEnablesTabsWithModels_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QString>("partitionStatus");
        QTest::addColumn<QString>("ataChecksum"); // the status text and the icon beside it
        QTest::addColumn<QString>("ataIcon");
        const auto row = [](const char *name, const QString &path, const QStringList &pages, const char *text = "",
                            const char *icon = "", const char *partition = "SAFE DISK NOT ENABLED") {
            QTest::newRow(name) << path << pages << QString(partition) << QString(text) << QString(icon);
        };
        const QStringList ata{"tbGeneral", "tbPart", "tbAta", "tbSmart"};
        row("SATA", DemoTree::Sata, ata, "Checksum valid", ":images/status.ok.16.png");
        row("no signature", DemoTree::SataNoSignature, ata, "Checksum missing", ":images/status.warning.16.png");
        row("bad sum", DemoTree::SataBadSum, ata, "Checksum invalid", ":images/status.err.14.png");
        row("NVMe", DemoTree::Nvme, {"tbGeneral", "tbPart", "tbNVMe"});
        // Under the volume server's protection: no partition table.
        row("USB", DemoTree::Usb, {"tbGeneral", "tbUSB"}, "", "", "SAFE DISK ENABLED");
        row("card", DemoTree::Card, {"tbGeneral", "tbPart", "tbSDeMMC"});
        row("SCSI", DemoTree::Scsi, {"tbGeneral", "tbPart", "tbSCSI"});
        row("plain", DemoTree::Plain, {"tbGeneral", "tbPart"});
    }

    void selectingDriveEnablesTabsWithModels()
    {
        QFETCH(QStringList, pages);
        QFETCH(QString, ataChecksum);
        QFETCH(QString, ataIcon);
        QFETCH(QString, path);
        QVERIFY(select(path));
        QCOMPARE(enabledPages(), pages);

        auto *tabs = child<Libraries::Widgets::Components::TabWidget>("tbInfos");
        const QPalette palette = tabs->tabBar()->palette();
        for (int i = 0; i < Pages.size(); ++i) {
            const bool on = pages.contains(Pages.at(i));
            // A view shows a model exactly on the enabled tabs.
            QCOMPARE(child<QTableView>("tv" + Pages.at(i).mid(2))->model() != nullptr, on);
            QCOMPARE(tabs->tabTextColor(i), on ? palette.color(tabs->tabBar()->foregroundRole())
                                               : palette.color(QPalette::Disabled, QPalette::WindowText));
        }
        QTEST(child<QLabel>("lblPart")->text(), "partitionStatus");
        QCOMPARE(!child<QLabel>("lblNVMeHealthIcon")->isHidden(), pages.contains("tbNVMe"));
        if (!ataIcon.isEmpty()) {
            tabs->setCurrentWidget(child("tbAta"));
            QCOMPARE(child<QLabel>("lblAtaChecksumState")->text(), ataChecksum);
            QVERIFY(child<QLabel>("lblAtaChecksumIcon")->isVisible());
            QCOMPARE(child<QLabel>("lblAtaChecksumIcon")->pixmap().toImage(), QPixmap(ataIcon).toImage());
        }
        // Group rows span both columns.
        auto *general = child<QTableView>("tvGeneral");
        auto *adapter = qobject_cast<Model::OneColumn *>(general->model());
        QVERIFY(adapter);
        for (int row : adapter->headerRows())
            QCOMPARE(general->columnSpan(row, 0), 2);
    }

    // Every fixed S.M.A.R.T. column fits its header text and its values; the
    // first column of the group tabs keeps a third of the width when resized.
    void columnWidths()
    {
        QVERIFY(select(DemoTree::Sata));
        child<QTabWidget>("tbInfos")->setCurrentWidget(child("tbSmart"));
        auto *view = child<QTableView>("tvSmart");
        auto *smart = qobject_cast<Model::Smart *>(view->model());
        QVERIFY(smart && !smart->attributes().isEmpty());
        QCOMPARE(child<QLabel>("lblSmartHealthIcon")->pixmap().toImage(),
                 QPixmap(smart->healthy() ? ":images/status.ok.16.png" : ":images/status.err.14.png").toImage());
        QHeaderView *header = view->horizontalHeader();
        for (int i : {0, 2, 3, 4}) {
            const QString title = smart->headerData(i, Qt::Horizontal).toString();
            QVERIFY2(header->sectionSize(i) >= header->fontMetrics().horizontalAdvance(title), qPrintable(title));
            for (int row = 0; row < smart->rowCount(); ++row)
                QVERIFY(header->sectionSize(i) >=
                        view->fontMetrics().horizontalAdvance(smart->data(smart->index(row, i)).toString()));
        }

        auto *general = child<QTableView>("tvGeneral");
        child<QTabWidget>("tbInfos")->setCurrentWidget(child("tbGeneral"));
        QCOMPARE(general->horizontalHeader()->sectionSize(0), general->width() / 3);
        const int before = general->width();
        m_window->resize(1400, 700);
        QTRY_VERIFY(general->width() > before);
        QCOMPARE(general->horizontalHeader()->sectionSize(0), general->width() / 3);
    }

    // The watcher follows the drive: events for another node are turned away
    // before they start a refresh; a burst of change events reads it once, after
    // the burst; an edit of the drive once more; its removal empties every tab.
    // (That setting the node again after each refresh causes no event is the node
    // watcher's own test.)
    void watchedDriveChanges()
    {
        QVERIFY(select(DemoTree::Sata));
        QTRY_VERIFY(m_window->nodeHandler()->watching());
        const DriveData *first = m_window->current();
        for (Node::Event type : {Node::Changed, Node::Removed}) {
            QTest::ignoreMessage(QtWarningMsg, "Got node event for unexpected node \"/devices/nvme/nvme0n1\"");
            postEvent(DemoTree::Nvme, type);
        }
        QCOMPARE(m_window->current(), first);
        QSignalSpy shown(m_window.get(), &MainWindow::driveShown);
        for (int i = 0; i < 3; ++i)
            postEvent(DemoTree::Sata, Node::Changed);
        QVERIFY(shown.wait());
        // The edit's refresh comes after any the burst could still cause.
        QVERIFY(editSata([](QJsonObject &nodes) {
            QJsonObject sata = nodes.value(DemoTree::Sata).toObject();
            sata.insert("label", "ACME SATA SSD (renamed)");
            nodes.insert(DemoTree::Sata, sata);
        }));
        // The list renames the pending record before the drive is read again, so
        // wait for the read itself.
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 2, 5000);
        QCOMPARE(m_window->current()->name, QString("ACME SATA SSD (renamed)"));
        QVERIFY(!m_window->current()->pending);

        QVERIFY(editSata([](QJsonObject &nodes) { nodes.remove(DemoTree::Sata); }));
        QTRY_COMPARE_WITH_TIMEOUT(enabledPages(), QStringList(), 5000);
        verifyEmpty();
        // No error dialog: nothing tried to open the vanished drive.
        QTRY_COMPARE(list()->model()->rowCount(), 8);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void unopenableDriveShowsError()
    {
        waitForList();
        QString title, text;
        QTimer closer; // the box comes when the loader hands over the (missing) record
        connect(&closer, &QTimer::timeout, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                text = box->text();
                box->accept();
            }
        });
        closer.start(20);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("Could not open node.*broken"));
        QVERIFY(selectAndWait(*m_window, list(), DemoTree::Broken));
        QCOMPARE(title, QString("Error"));
        QCOMPARE(text, QString("Could not open drive Broken disk"));
        QCOMPARE(enabledPages(), QStringList());
        QCOMPARE(m_window->nodeHandler()->node(), DemoTree::Broken); // read again when it changes
    }

    // What the drive source says about itself (here: missing rights) appears at the
    // foot of the window once, however often drives are shown; a hosted source
    // names the program that shows unmodified data.
    void sourceNoticesAndHostedMode()
    {
        QVERIFY(m_window->sourceNotice().isEmpty());
        m_window.reset(); // its clients belong to the simulator about to be replaced
        auto &memory = TestSupport::MemoryBackend::install();
        memory.node("/a").p0().set("TYPE", {Variant::ofText("SATA")});
        memory.node("/b").p0().set("TYPE", {Variant::ofText("NVMe")});
        memory.driveList = {{"/a", "Disk A", 2}, {"/b", "Disk B", 2}};
        memory.notices = {QStringLiteral("Some drive data needs direct access to the drives.")};
        memory.isHosted = true;
        {
            MainWindow window;
            window.show();
            auto *notice = window.findChild<QLabel *>("lblNonModNative");
            QVERIFY(!notice->isHidden());
            QCOMPARE(
                notice->text(),
                QString("UNMODIFIED DATA IS AVAILABLE ON %1/S").arg(Libraries::Quill::Tools::Info::productBaseName()));
            auto *drives = window.findChild<Widget *>("driveselect");
            QTRY_COMPARE(drives->model()->rowCount(), 2);
            QVERIFY(selectAndWait(window, drives, "/a"));
            QCOMPARE(window.sourceNotice(), memory.notices.first());
            memory.notices << QStringLiteral("A drive in standby was left asleep.");
            QVERIFY(selectAndWait(window, drives, "/b"));
            QVERIFY(selectAndWait(window, drives, "/a"));
            QCOMPARE(window.sourceNotice().split('\n'), memory.notices);
            QVERIFY(window.statusBar()->isVisible());
            window.setRecord(claimingAll());
            QCOMPARE(window.findChild<QLabel *>("lblNVMeState")->text(), NotAvailable + ", USE /S INSTEAD");
            QCOMPARE(window.findChild<QLabel *>("lblSCSIState")->text(), NotAvailable);
        }
        Services::Nodes::Backend::install(Services::Nodes::Sim::createBackend(m_tree));
    }

    // A window left open: refreshing a drive again and again leaves no objects
    // behind in the views (selection models of the empty tabs included).
    void refreshingKeepsObjectCountFlat()
    {
        QVERIFY(select(DemoTree::Sata));
        auto counts = [this] {
            QList<int> n;
            for (const QString &page : Pages)
                n << int(child<QTableView>("tv" + page.mid(2))->findChildren<QObject *>().size());
            return n;
        };
        auto *reload = child<QPushButton>("btnReload");
        reload->click();
        const QList<int> before = counts();
        for (int i = 0; i < 300; ++i)
            reload->click();
        QCOMPARE(counts(), before);
    }

    // Ctrl+C copies the selected rows as the report shows them, a title row as
    // its text, S.M.A.R.T. attributes as tab-separated columns; Copy all the tab.
    void copySelectedRows()
    {
        QVERIFY(select(DemoTree::Sata));
        Acquisition acquisition;
        const QStringList report = driveText(acquisition, DemoTree::Sata, m_window->current()->name);
        for (const char *name : {"tvGeneral", "tvSmart"}) {
            auto *view = child<QTableView>(name);
            child<QTabWidget>("tbInfos")->setCurrentWidget(view->parentWidget());
            view->setFocus();
            for (int row : {0, 2})
                view->selectionModel()->select(view->model()->index(row, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
            QApplication::clipboard()->clear();
            QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
            const QStringList copied = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
            QCOMPARE(copied.size(), 2);
            // The report's line of the same row: "   TITLE", "     LABEL: value", "   a | b | c"
            // (after a S.M.A.R.T. row the report adds the decoded raw value and the state).
            for (const QString &row : copied) {
                const QString asReported = QString(row).replace('\t', QString(name) == "tvSmart" ? " | " : ": ");
                const QString x = QRegularExpression::escape(asReported);
                QVERIFY2(report.indexOf(QRegularExpression("^(   " + x + "( \\| .*)?|     " + x + ".*)$")) >= 0,
                         qPrintable(row));
            }
        }
        QAction *copyAll = child<QTableView>("tvSmart")->actions().value(1);
        QVERIFY(copyAll);
        copyAll->trigger();
        const QString all = QApplication::clipboard()->text();
        QVERIFY(all.startsWith("-- S.M.A.R.T. [enabled]\n"));
        QVERIFY(report.join('\n').contains(all.trimmed()));
    }

    void saveReportAsTheReportToolDoes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("all");
        QTest::addColumn<bool>("json");
        QTest::newRow("drive, text") << QStringList{"--drive", DemoTree::Sata} << false << false;
        QTest::newRow("all, JSON") << QStringList{"--all", "--json"} << true << true;
    }

    void saveReportAsTheReportToolDoes()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, all);
        QFETCH(bool, json);
        QVERIFY(select(DemoTree::Sata));
        const QString file = m_dir.filePath("saved");
        QString error;
        if (all)
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("Could not open node.*broken"));
        QVERIFY2(m_window->saveReport(file, all, json, &error), qPrintable(error));
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const TestSupport::Run tool =
            TestSupport::run(BUILD_DIR "/report/drivescope-report", args, {"DRIVESCOPE_NODES=" + m_tree});
        QCOMPARE(QString::fromUtf8(saved.readAll()), tool.out);
        // Never over a device node.
        QVERIFY(!m_window->saveReport("/dev/null", all, json, &error));
        QVERIFY(error.contains("is not a regular file"));
    }

    // Without a mouse: the list takes the focus, arrows choose a drive, Ctrl+Page
    // Down and Up go through the tabs, F5 reads the drive again, F1 opens the help.
    void keyboardOnly()
    {
        waitForList();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTreeView *drives = list()->view();
        drives->setFocus();
        QTRY_VERIFY(drives->hasFocus());
        QSignalSpy shown(m_window.get(), &MainWindow::driveShown);
        // Drives are read off the window's thread: each arrow's drive is shown in turn.
        QTest::keyClick(drives, Qt::Key_Down);
        QTRY_COMPARE(shown.size(), 1);
        QTest::keyClick(drives, Qt::Key_Down);
        QTRY_COMPARE(shown.size(), 2);
        QCOMPARE(m_window->currentNode(), drives->currentIndex().data(Qt::UserRole).toString());

        auto *tabs = child<QTabWidget>("tbInfos");
        QCOMPARE(tabs->currentIndex(), 0);
        QTest::keyClick(drives, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 0);
        // The button's shortcut clicks it a moment later, as a click looks.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
        QTRY_COMPARE(shown.size(), 3);
        QVERIFY(m_window->helpViewer() == nullptr);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QTRY_VERIFY(m_window->helpViewer() && m_window->helpViewer()->isVisible());
        auto *browser = m_window->helpViewer()->findChild<QTextBrowser *>();
        QVERIFY(browser && browser->toPlainText().contains("Drive Scope version " + programVersion()));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
