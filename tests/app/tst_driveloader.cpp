// Drives are read off the window's thread: a device that answers slowly, or
// never, leaves the event loop answering and ends with the usual texts.
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
        QSemaphore device; // the device answers when the test lets it, with a time-out
        io->gate = &device;
        io->error = ETIMEDOUT;
        Services::Nodes::Backend::install(Services::Nodes::Linux::createBackend(sys, QStringLiteral("/dev"), io));
        TestSupport::LogCapture log;

        DriveLoader loader;
        std::unique_ptr<DriveData> record;
        bool done = false;
        connect(&loader, &DriveLoader::loaded, this, [&](const QString &, const QString &, DriveData *loaded) {
            record.reset(loaded);
            done = true;
        });
        const auto unblock = qScopeGuard([&] { device.release(100); }); // before the loader waits for its worker
        loader.load(QStringLiteral("/devices/block/sda"), QStringLiteral("sda"));
        // The loop here goes on answering while the device holds the first command.
        QTRY_COMPARE(io->requests(), 1);
        QVERIFY(!done);
        device.release(100);
        QTRY_VERIFY_WITH_TIMEOUT(done, 60000);

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
