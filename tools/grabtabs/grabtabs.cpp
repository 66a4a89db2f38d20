// Saves the offscreen picture of every tab of every listed drive (the tab
// widget with its page, status lines and icons) as PNG files, so that a change to the window's code can be checked
// against the pictures of the build before it (compare the two folders file by file). Usage: QT_QPA_PLATFORM=offscreen
// DRIVESCOPE_NODES=demo.json drivescope-grabtabs DIR
#include <QAbstractItemModel>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QItemSelectionModel>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

#include "app/MainWindow.h"
#include "app/Resources.h"
#include "platform/Log.h"
#if __has_include("model/Startup.h")
#include "model/Startup.h"
#else
#include "app/Startup.h"
#endif

using Applications::DriveScope::MainWindow;

namespace {
// Runs the event loop until `done`, or for at most a minute; false then.
template <typename F> bool spinUntil(F done)
{
    const QDeadlineTimer limit(60000);
    while (!done() && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}
// Lets layouts and deferred resizes run before a picture is taken.
void settle()
{
    for (int round = 0; round < 50; ++round)
        QCoreApplication::processEvents();
}
} // namespace

int main(int argc, char **argv)
{
    SysLog::routeQtMessages();
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: drivescope-grabtabs DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path()))
        return 1;
    Applications::DriveScope::initResources();
    Applications::DriveScope::setupTranslationAndFormatting();

    MainWindow window;
    window.resize(1100, 760);
    window.show();
    auto *list = window.findChild<QTreeView *>(QStringLiteral("driveList"));
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tbInfos"));
    if (!list || !tabs || !spinUntil([&] { return list->model()->rowCount() > 0; })) {
        std::fprintf(stderr, "drivescope-grabtabs: no drive list\n");
        return 1;
    }
    // A drive that cannot be opened brings up a modal message; it is closed
    // unread and the drive's empty tabs are taken as they are.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    closer.start(100);
    int shown = 0;
    QObject::connect(&window, &MainWindow::driveShown, [&](const QString &) { ++shown; });
    int files = 0;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        const QModelIndex index = list->model()->index(row, 0);
        const int before = shown;
        list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        if (!spinUntil([&] { return shown > before; })) {
            std::fprintf(stderr, "drivescope-grabtabs: row %d never shown\n", row);
            return 1;
        }
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            settle();
            // Named by drive, not by row: the lists of two builds may differ.
            QString drive = index.data(Qt::UserRole).toString();
            drive.replace(QLatin1Char('/'), QLatin1Char('_'));
            const QString file = QStringLiteral("%1-%2.png").arg(drive).arg(tab);
            if (!tabs->grab().save(out.filePath(file)))
                return 1;
            ++files;
        }
    }
    std::printf("%d pictures in %s\n", files, qPrintable(out.path()));
    return 0;
}
