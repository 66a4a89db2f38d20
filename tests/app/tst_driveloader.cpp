// Drives are read off the window's thread: a device that answers slowly, or
// never, leaves the event loop answering and ends with the usual texts.
#include <QElapsedTimer>
#include <QtTest>

#include "TestSupport.h"
#include "app/DriveLoader.h"
#include "model/General.h"
#include "model/TabStatus.h"
#include "platform/linux/LinuxBackend.h"

#include <cerrno>

using namespace Applications::DriveScope;

class TestDriveLoader : public QObject {
    Q_OBJECT
private slots:
    void slowDeviceKeepsLoopAnswering()
    {
        const QString sys = QStringLiteral(TESTS_DIR "/data/sysfs/synthetic/sys");
        auto io = std::make_shared<TestSupport::FakeDevices>(sys);
        io->sleepMs = 150; // every command, then a time-out
        io->error = ETIMEDOUT;
        Services::Nodes::Backend::install(Services::Nodes::Linux::createBackend(sys, QStringLiteral("/dev"), io));
        TestSupport::LogCapture log;

        DriveLoader loader;
        DriveData *loaded = nullptr;
        bool done = false;
        connect(&loader, &DriveLoader::loaded, this, [&](const QString &, const QString &, DriveData *record) {
            loaded = record;
            done = true;
        });
        QElapsedTimer clock;
        qint64 last = 0, longest = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] {
            longest = qMax(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        tick.start(10);
        clock.start();
        loader.load(QStringLiteral("/devices/block/sda"), QStringLiteral("sda"));
        QTRY_VERIFY_WITH_TIMEOUT(done, 60000);
        std::unique_ptr<DriveData> record(loaded);

        QVERIFY(io->requests() >= 2); // the device was asked, and slowly
        QVERIFY2(longest < 100, qPrintable(QStringLiteral("the loop stalled for %1 ms").arg(longest)));
        QVERIFY(record && record->general);
        QCOMPARE(record->general->thread(), QThread::currentThread());
        QVERIFY(!record->smart);
        QCOMPARE(Model::tabState(record.get(), Model::Tab::Smart, false).lines.value(0),
                 Model::tabState(nullptr, Model::Tab::Smart, false).lines.value(0));
        QVERIFY2(log.contains(QStringLiteral("timed out")), qPrintable(log.text()));
        // A command that timed out twice ends the sequence: no more waiting.
        QCOMPARE(io->requests(), 2);
        Services::Nodes::Backend::install(nullptr);
    }
};

QTEST_MAIN(TestDriveLoader)
#include "tst_driveloader.moc"
