// The metrics of a machine of 1,000 simulated drives: half SATA disks with
// IDENTIFY and 30 S.M.A.R.T. attributes, half NVMe drives with a health log.
#include <QTemporaryDir>
#include <QtTest>

#include "BenchSupport.h"
#include "platform/sim/SimBackend.h"
#include "report/Metrics.h"

using namespace Applications::DriveScope;

namespace {

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QString writeTree(const QString &dir)
{
    QByteArray identify(512, '\0');
    identify[2 * 82] = 0x01; // w82:0 S.M.A.R.T. supported
    identify[2 * 85] = 0x01; // w85:0 enabled
    QByteArray attributes;
    for (int id = 1; id <= 30; ++id)
        attributes += QByteArray::fromHex(QByteArray::number(id, 16).rightJustified(2, '0') + "3300646402000000000a0a");
    QByteArray log(512, '\0');
    log[1] = char(0x37); // 311 K
    log[2] = char(0x01);
    log[3] = 100;
    log[4] = 10;
    const QString identifyHex = hex(identify), attributesHex = hex(attributes), logHex = hex(log);

    return BenchSupport::writeTree(dir, "many.json", 1000, [&](int i) {
        if (i % 2)
            return QString(R"("/devices/nvme/nvme%1n1":{"drive":true,"label":"NVMe %1","properties":{"TYPE":"NVMe",)"
                           R"("NAME":"NVMe %1","SERIAL":"N%1"},"sets":{"NVME_SMART_LOG":{"buffer":"%2"}},)"
                           R"("storage":{"blockSize":512,"blockCount":1953525168}})")
                .arg(i)
                .arg(logHex)
                .toUtf8();
        return QString(R"("/devices/sata/sd%1":{"drive":true,"label":"Disk %1","properties":{"TYPE":"SATA",)"
                       R"("NAME":"Disk %1","SERIAL":"S%1","ATA_SMART_ENABLED":{"name":"ATA_SMART_ENABLED",)"
                       R"("int":1},"ATA_SMART_STATUS":1},"sets":{"ATA_IDENTIFY":{"buffer":"%2"},)"
                       R"("ATA_SMART_ATTRIBUTES":{"buffer":"%3"}},)"
                       R"("storage":{"blockSize":512,"blockCount":976773168}})")
            .arg(i)
            .arg(identifyHex, attributesHex)
            .toUtf8();
    });
}

} // namespace

class BenchMetrics : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        Services::Nodes::Backend::install(Services::Nodes::Sim::createBackend(writeTree(m_dir.path())));
        QCOMPARE(Services::Nodes::Backend::instance().drives().size(), 1000);
    }

    // What one run of drivescope-report --prometheus does after start-up.
    void thousandDrives()
    {
        const auto entries = Services::Nodes::Backend::instance().drives();
        QByteArray text;
        int runs = 0;
        const double before = BenchSupport::cpuSeconds();
        QBENCHMARK
        {
            Acquisition acquisition;
            acquisition.setPartitionsTab(false);
            text = prometheusMetrics(acquisition, entries, false, nullptr);
            ++runs;
        }
        // The wall time above includes waiting for a busy machine's processors.
        qInfo("metrics of 1,000 drives: %.0f ms of CPU per run", (BenchSupport::cpuSeconds() - before) * 1000.0 / runs);
        QCOMPARE(text.count("drivescope_smart_healthy{"), 1000);
        QCOMPARE(text.count("drivescope_smart_attribute_value{"), 500 * 30);
    }
};

QTEST_GUILESS_MAIN(BenchMetrics)
#include "bench_metrics.moc"
