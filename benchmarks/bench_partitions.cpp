// Reading a 128-entry GPT with eight file systems: our manager (table only, and
// with the file system probe) against running sfdisk --json plus blkid -p per partition.
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include "../tests/platform/disks/DiskTools.h"
#include "../tests/platform/disks/ImageStorage.h"
#include "platform/disks/PartMan.h"

using namespace Libraries::Disks::PartMan;
using namespace TestSupport;

class BenchPartitions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void tableOnly();
    void tableAndFilesystems();
    void sfdiskAndBlkid();

private:
    QTemporaryDir m_dir;
    QString m_image;
};

void BenchPartitions::initTestCase()
{
    const QString missing = missingTool({"sfdisk", "blkid", "mkfs.vfat", "mkfs.ext4", "mkswap"});
    if (!missing.isEmpty())
        QSKIP(qPrintable(missing + " is not installed"));
    // Eight partitions of 32 MiB: ext4, FAT32, ext2, swap, FAT16, ext4, ext2, FAT32.
    const QString error = runScript(m_dir.path(), R"(
truncate -s 300M disk.img
{ echo 'label: gpt'; echo 'table-length: 128'
  for i in 1 2 3 4 5 6 7 8; do echo "start=$((2048 + (i - 1) * 65536)), size=65536, type=L, name=\"part$i\""; done
} | sfdisk -q disk.img
put() { dd if="$2" of=disk.img bs=512 seek=$((2048 + ($1 - 1) * 65536)) conv=notrunc,sparse status=none; rm -f "$2"; }
truncate -s 32M f; mkfs.ext4 -q -F -L one f; put 1 f
mkfs.vfat -F 32 -s 1 -n TWO -C f 32768 >/dev/null; put 2 f
truncate -s 32M f; mkfs.ext2 -q -F -L three f; put 3 f
truncate -s 32M f; mkswap -L four f >/dev/null 2>&1; put 4 f
mkfs.vfat -F 16 -n FIVE -C f 32768 >/dev/null; put 5 f
truncate -s 32M f; mkfs.ext4 -q -F -L six f; put 6 f
truncate -s 32M f; mkfs.ext2 -q -F -L seven f; put 7 f
mkfs.vfat -F 32 -s 1 -n EIGHT -C f 32768 >/dev/null; put 8 f
)");
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_image = m_dir.filePath("disk.img");
    const Ref<PartitionManager> m =
        PartitionManager::create(std::make_shared<ImageStorage>(m_image), nullptr, nullptr, 0);
    QVERIFY(m);
    QCOMPARE(m->gptEntryCount(), 128u);
    QCOMPARE(m->partitionCount(), 8u);
    for (quint32 i = 0; i < 8; ++i)
        QVERIFY(m->partition(i)->fsType() != 0);
}

void BenchPartitions::tableOnly()
{
    QBENCHMARK
    {
        auto storage = std::make_shared<ImageStorage>(m_image);
        QVERIFY(PartitionManager::create(storage, nullptr, nullptr, PartitionManager::NoFilesystemProbe));
    }
}

void BenchPartitions::tableAndFilesystems()
{
    quint64 bytes = 0;
    QBENCHMARK
    {
        auto storage = std::make_shared<ImageStorage>(m_image);
        QVERIFY(PartitionManager::create(storage, nullptr, nullptr, 0));
        bytes = storage->bytesReadTotal;
    }
    qInfo("bytes read per run: %llu", static_cast<unsigned long long>(bytes));
}

void BenchPartitions::sfdiskAndBlkid()
{
    QString script = "sfdisk --json disk.img >/dev/null\n";
    for (int i = 0; i < 8; ++i)
        script += QString("blkid -p -o export --offset %1 --size %2 disk.img >/dev/null\n")
                      .arg((2048 + i * 65536) * 512)
                      .arg(65536 * 512);
    QBENCHMARK
    {
        QVERIFY(runScript(m_dir.path(), script).isEmpty());
    }
}

QTEST_GUILESS_MAIN(BenchPartitions)
#include "bench_partitions.moc"
