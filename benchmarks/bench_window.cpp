// The window opening one drive of the demo machine: acquisition, every model,
// and applying the record to the nine tabs, as Refresh does it. Reports the
// process CPU time per opening beside QBENCHMARK's wall time.
#include <QtTest>

#include <ctime>

#include "app/MainWindow.h"
#include "app/Resources.h"
#include "app/widgets/DriveSelection.h"
#include "model/Startup.h"
#include "platform/Log.h"
#include "platform/Nodes.h"
#include "platform/sim/SimBackend.h"

using namespace Applications::DriveScope;
using Services::Nodes::Backend;

namespace {
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
} // namespace

class BenchWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        SysLogFilter::setLevel(5);
        initResources();
        setupTranslationAndFormatting();
        Backend::install(Services::Nodes::Sim::createBackend(SOURCE_DIR "/examples/nodes/demo.json"));
        QVERIFY(Backend::instance().available());
    }

    void openDrive_data()
    {
        QTest::addColumn<QString>("path");
        for (const auto &d : Backend::instance().drives())
            QTest::newRow(qPrintable(d.label)) << d.path;
    }

    void openDrive()
    {
        QFETCH(QString, path);
        MainWindow window;
        window.resize(1024, 622);
        window.show();
        auto *list = window.findChild<Libraries::Widgets::DriveSelection::Widget *>("driveselect");
        QTRY_VERIFY(list->modelIndexForNode(path).isValid());
        // A drive that cannot be opened would stop at its error dialog.
        auto probe = Acquisition().acquireDrive(path, path);
        if (!probe)
            QSKIP("The drive cannot be opened");
        QVERIFY(list->select(path));

        // QBENCHMARK runs this function more than once; CPU time is measured on the first pass.
        static QSet<QString> measured;
        if (!measured.contains(path)) {
            measured.insert(path);
            const int rounds = 100;
            const double start = cpuMs();
            for (int i = 0; i < rounds; ++i)
                QMetaObject::invokeMethod(&window, "on_btnReload_clicked", Qt::DirectConnection);
            qInfo("%s: %.2f ms CPU per opening", qPrintable(path), (cpuMs() - start) / rounds);
        }

        QBENCHMARK
        {
            QMetaObject::invokeMethod(&window, "on_btnReload_clicked", Qt::DirectConnection);
        }
    }
};

QTEST_MAIN(BenchWindow)
#include "bench_window.moc"
