// The simulator on a machine of 1,000 drives: reading the tree file, and what
// the change poller costs while nothing changes.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "BenchSupport.h"
#include "platform/sim/NodeTreeReader.h"
#include "platform/sim/SimBackend.h"

namespace {

// 1,000 drives, each with a few properties and a 512-byte IDENTIFY set: half
// inline hexadecimal, half from a buffer file (so the poller watches 500 files).
QString writeTree(const QString &dir)
{
    const QString hex = QString("5A ").repeated(512);
    QDir().mkpath(dir + "/blobs");
    return BenchSupport::writeTree(dir, "many.json", 1000, [&](int i) {
        const QString blob = QString("blobs/id%1.bin").arg(i);
        if (i % 2) {
            QFile f(dir + "/" + blob);
            if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(512, 'Z')) != 512)
                qFatal("cannot write %s", qPrintable(f.fileName()));
        }
        return QString(R"("/devices/sata/disk%1":{"drive":true,"label":"Disk %1","properties":{"TYPE":"SATA",)"
                       R"("NODE_SET_SCSI":1,"SERIAL":["S%1"]},"sets":{"ATA_IDENTIFY":%2},)"
                       R"("storage":{"blockSize":512,"blockCount":976773168}})")
            .arg(i)
            .arg(i % 2 ? QString(R"({"file":"%1"})").arg(blob) : QString(R"({"buffer":"%1"})").arg(hex))
            .toUtf8();
    });
}

} // namespace

class BenchNodeTree : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_tree;

private slots:
    void initTestCase() { m_tree = writeTree(m_dir.path()); }

    void readThousandDrives()
    {
        QBENCHMARK
        {
            const auto r = Services::Nodes::Sim::loadNodeTree(m_tree);
            QCOMPARE(r.tree.nodes.size(), 1000);
        }
    }

    // CPU time of the poller over 5 s of an unchanged tree.
    void idlePoller()
    {
        const auto backend = Services::Nodes::Sim::createBackend(m_tree);
        const auto client = backend->driveListClient();
        QThread::msleep(2500); // past the "recently written" window of the files
        const double before = BenchSupport::cpuSeconds();
        QThread::msleep(5000);
        const double used = BenchSupport::cpuSeconds() - before;
        qInfo("poller: %.1f ms CPU per second while idle, watching 501 files", used * 1000.0 / 5.0);
        QVERIFY(!client->wait(0));
    }
};

QTEST_GUILESS_MAIN(BenchNodeTree)
#include "bench_nodetree.moc"
