// The demo disks: the image script and the node-tree fragment must agree (block
// counts, table kinds), and the simulator must serve the images to the tabs,
// reading at most 256 KiB per partition beyond the table for one report.
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "../../platform/disks/DiskTools.h"
#include "model/NodeUtils.h"
#include "model/Partitions.h"
#include "platform/disks/BlockCache.h"
#include "platform/disks/PartMan.h"
#include "platform/sim/SimBackend.h"
#include "report/Report.h"

using namespace Applications::DriveScope;
using namespace TestSupport;

class TestDemoDisks : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QJsonObject m_nodes;

private Q_SLOTS:
    void initTestCase()
    {
        const QString missing = missingTool({"sfdisk", "sgdisk", "fdisk", "mkfs.vfat", "mkfs.ext4", "mkswap"});
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing + " is not installed"));
        QVERIFY(m_dir.isValid());
        const QString error = runScript(
            m_dir.path(), QString("bash '%1/tools/demo/make_disk_images.sh' images >/dev/null").arg(SOURCE_DIR));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(QFile::copy(SOURCE_DIR "/examples/nodes/demo/disks.json", m_dir.filePath("disks.json")));
        QFile f(m_dir.filePath("disks.json"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        m_nodes = QJsonDocument::fromJson(f.readAll()).object().value("nodes").toObject();
        QVERIFY(!m_nodes.isEmpty());
        Services::Nodes::Backend::install(Services::Nodes::Sim::createBackend(m_dir.filePath("disks.json")));
    }

    void fragmentMatchesImages()
    {
        int images = 0;
        for (auto it = m_nodes.begin(); it != m_nodes.end(); ++it) {
            const QJsonObject storage = it.value().toObject().value("storage").toObject();
            const QString image = storage.value("image").toString();
            if (image.isEmpty())
                continue;
            ++images;
            const qint64 bytes = qint64(storage.value("blockSize").toDouble() * storage.value("blockCount").toDouble());
            QVERIFY2(QFileInfo(m_dir.filePath(image)).size() == bytes,
                     qPrintable(it.key() + ": blockCount does not match " + image));
        }
        QVERIFY(images >= 5);
    }

    void tabsOverSimulator_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("tableType");
        QTest::addColumn<int>("partitions"); // tst_partitionmap holds gpt0 and mbr0 against sfdisk

        const QList<std::tuple<const char *, const char *, const char *, int>> rows = {
            {"gpt", "/devices/disks/gpt0", "GPT", 6},      {"gpt 4K", "/devices/disks/gpt4k0", "GPT", 2},
            {"mbr", "/devices/disks/mbr0", "MBR", 9},      {"superfloppy", "/devices/disks/floppy0", "SUPERFLOPPY", 1},
            {"blank", "/devices/disks/empty0", "NONE", 0}, {"lost GPT", "/devices/disks/broken0", "<ERROR>", 0},
        };
        for (const auto &[name, path, type, partitions] : rows)
            QTest::newRow(name) << QString(path) << QString(type) << partitions;
    }

    void tabsOverSimulator()
    {
        QFETCH(QString, path);
        QFETCH(QString, tableType);
        QFETCH(int, partitions);

        const Ref<Interfaces::Generic> generic = openGeneric(path, 0, false);
        QVERIFY(generic);
        Model::Partitions model(generic, path);
        QCOMPARE(model.rowCount(), 1 + partitions);
        const QModelIndex table = model.index(0, 0);
        QCOMPARE(model.data(model.index(0, 1, table)).toString(), tableType);

        // The metrics count the entries of the table (a file system on the whole
        // disk is none), and leave out a table that cannot be read.
        QString metrics, said;
        QTextStream m(&metrics), s(&said);
        QCOMPARE(Applications::DriveScope::runReport({"--prometheus"}, m, s), 0);
        const QString sample = QStringLiteral("\ndrivescope_partitions{drive=\"%1\"} ").arg(path);
        if (tableType == "<ERROR>")
            QVERIFY(!metrics.contains(sample));
        else
            QVERIFY(metrics.contains(sample + QString::number(tableType == "SUPERFLOPPY" ? 0 : partitions) + '\n'));

        // One report of the drive, through the storage it shares while held here.
        using namespace Services::Nodes;
        const Ref<Provider> provider = Provider::create(Services::Filesystem::Client::Nodes::open(path), 0);
        const Ref<Interfaces::Storage> held = Providers::Storage::create(provider);
        QVERIFY(held);
        QString out, err;
        QTextStream o(&out), e(&err);
        QCOMPARE(Applications::DriveScope::runReport({"--drive", path, "--json"}, o, e), 0);
        auto tableOnly = std::make_shared<Libraries::Disks::BlockCache>(Backend::instance().storage(provider));
        using Libraries::Disks::PartMan::PartitionManager;
        PartitionManager::create(tableOnly, nullptr, nullptr, PartitionManager::NoFilesystemProbe);
        // A disk without table is probed as one volume.
        QVERIFY2(held->bytesRead() <= tableOnly->bytesRead() + quint64(qMax(1, partitions)) * 256 * 1024,
                 qPrintable(QString("%1 bytes, the table %2").arg(held->bytesRead()).arg(tableOnly->bytesRead())));
    }
};

QTEST_MAIN(TestDemoDisks)
#include "tst_demodisks.moc"
