// Acquisition plus every model for each demo drive, and the drive list of a
// simulated machine with 1,000 drives: enumeration, support test, memory at rest.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "Acquisition.h"
#include "Startup.h"
#include "platform/Log.h"
#include "platform/Nodes.h"
#include "platform/sim/SimBackend.h"

using namespace Applications::DriveScope;
using Services::Nodes::Backend;

namespace {
long residentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// A machine of `count` SATA drives, each with S.M.A.R.T. and IDENTIFY sets.
QString writeLargeTree(const QString &dir, int count)
{
    QFile identify(dir + "/identify.bin");
    identify.open(QIODevice::WriteOnly);
    QByteArray id(512, '\0');
    id[510] = char(0xA5);
    identify.write(id);
    identify.close();
    QByteArray json = "{\"nodes\":{";
    for (int i = 0; i < count; ++i) {
        if (i)
            json += ',';
        json += QStringLiteral("\"/devices/sata/disk%1\":{\"drive\":true,\"label\":\"Disk %1\",\"properties\":"
                               "{\"TYPE\":\"SATA\",\"NAME\":\"Disk %1\",\"SERIAL\":\"S%1\"},"
                               "\"sets\":{\"ATA_IDENTIFY\":{\"file\":\"identify.bin\"}},"
                               "\"storage\":{\"blockSize\":512,\"blockCount\":1000000}}")
                    .arg(i)
                    .toUtf8();
    }
    json += "}}";
    QFile tree(dir + "/large.json");
    tree.open(QIODevice::WriteOnly);
    tree.write(json);
    return tree.fileName();
}
} // namespace

class BenchAcquisition : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        SysLogFilter::setLevel(5);
        setupTranslationAndFormatting();
    }

    void demoDrives_data()
    {
        Backend::install(Services::Nodes::Sim::createBackend(SOURCE_DIR "/examples/nodes/demo.json"));
        QTest::addColumn<QString>("path");
        for (const auto &d : Backend::instance().drives())
            QTest::newRow(qPrintable(d.label)) << d.path;
    }

    void demoDrives()
    {
        QFETCH(QString, path);
        Backend::install(Services::Nodes::Sim::createBackend(SOURCE_DIR "/examples/nodes/demo.json"));
        Acquisition acquisition;
        QBENCHMARK {
            auto data = acquisition.acquireDrive(path, "bench");
            Q_UNUSED(data);
        }
    }

    void thousandDrives()
    {
        QTemporaryDir dir;
        const QString tree = writeLargeTree(dir.path(), 1000);
        const long before = residentKiB();
        QElapsedTimer timer;
        timer.start();
        Backend::install(Services::Nodes::Sim::createBackend(tree));
        const auto drives = Backend::instance().drives();
        Acquisition acquisition;
        int supported = 0;
        for (const auto &d : drives)
            supported += acquisition.isDriveSupported(d.path) ? 1 : 0;
        const qint64 ms = timer.elapsed();
        QCOMPARE(drives.size(), 1000);
        QCOMPARE(supported, 1000);
        qInfo("1000 drives: listed and support-tested in %lld ms; resident %ld KiB (before loading %ld KiB)", ms,
              residentKiB(), before);
    }
};

QTEST_MAIN(BenchAcquisition)
#include "bench_acquisition.moc"
