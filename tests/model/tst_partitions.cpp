// The Partitions tab over real images built with sfdisk/sgdisk and mkfs, the
// manager-failure placeholder, and the safe-disk rule of the acquisition.
#include <QTemporaryDir>
#include <QtTest>

#include "../platform/disks/DiskTools.h"
#include "ModelRows.h"
#include "TestSupport.h"
#include "model/Acquisition.h"
#include "model/NodeUtils.h"
#include "model/Partitions.h"

using namespace Applications::DriveScope;
using namespace TestSupport;

namespace {

const QString kPath = QStringLiteral("/devices/disk0");

// Rows of the model by group title, each "LABEL=VALUE", a dimmed value marked with "~".
QMap<QString, QStringList> rows(QAbstractItemModel &m)
{
    QMap<QString, QStringList> out;
    for (const ShownGroup &g : shownGroups(m))
        for (const ShownRow &r : g.rows)
            out[g.title] << r.label + "=" + (r.dimmed ? "~" : "") + r.value;
    return out;
}

} // namespace

class TestPartitions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void tables_data();
    void tables();
    void managerFailure_data();
    void managerFailure();
    void safeDiskHasNoModel();

private:
    QByteArray image(const QString &script);
    QTemporaryDir m_dir;
};

void TestPartitions::initTestCase()
{
    const QString missing = missingTool({"sfdisk", "sgdisk", "blkid", "mkfs.vfat", "mkfs.ext4"});
    if (!missing.isEmpty())
        QSKIP(qPrintable(missing + " is not installed"));
    QVERIFY(m_dir.isValid());
}

QByteArray TestPartitions::image(const QString &script)
{
    QFile::remove(m_dir.filePath("disk.img"));
    const QString error = runScript(m_dir.path(), script);
    if (!error.isEmpty())
        qWarning() << error;
    QFile f(m_dir.filePath("disk.img"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestPartitions::tables_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("table"); // %GPTID% stands for the disk GUID sfdisk reports
    QTest::addColumn<QStringList>("first"); // %TYPE% %UUID% %FSUUID% from sfdisk and blkid
    QTest::addColumn<int>("groups");

    QTest::newRow("gpt")
        << "truncate -s 16M disk.img\n"
           "sgdisk -o -n 1:2048:+8M -t 1:ef00 -c 1:'EFI system' -n 2:0:+2M -t 2:8300 disk.img >/dev/null\n"
           "mkfs.vfat -n ESP -C p1 8192 >/dev/null\n"
           "dd if=p1 of=disk.img bs=512 seek=2048 conv=notrunc status=none"
        << QStringList{"PARTITION TABLE TYPE=GPT",   "PARTITIONS=2",
                       "MBR DISK ID=~<EMPTY VALUE>", "GPT DISK ID=%GPTID%",
                       "GPT TABLE ENTRY COUNT=128",  "GPT TABLE ENTRY SIZE=128  BYTE"}
        << QStringList{"NAME=EFI system",
                       "TYPE NAME=EFI system partition",
                       "TYPE GPT=%TYPE%",
                       "TYPE MBR=~<NA>",
                       "PART ID=%UUID%",
                       "START=2048",
                       "END=18431",
                       "SIZE=16384",
                       "CHS START=~<NA>",
                       "CHS END=~<NA>",
                       "FILE SYSTEM TYPE=FAT12",
                       "VOLUME NAME=ESP",
                       "VOLUME ID=%FSUUID%"}
        << 3;
    QTest::newRow("mbr") << "truncate -s 16M disk.img\n"
                            "printf 'label: dos\\nlabel-id: 0x00c0ffee\\nstart=2048, size=8192, type=7\\n"
                            "start=10240, type=5\\nsize=2048, type=83\\n' | sfdisk -q disk.img"
                         << QStringList{"PARTITION TABLE TYPE=MBR",    "PARTITIONS=3",
                                        "MBR DISK ID=00C0FFEE",        "GPT DISK ID=~<NA>",
                                        "GPT TABLE ENTRY COUNT=~<NA>", "GPT TABLE ENTRY SIZE=~<NA>"}
                         << QStringList{"NAME=~<NA>",
                                        "TYPE NAME=HPFS/NTFS/exFAT",
                                        "TYPE GPT=~<NA>",
                                        "TYPE MBR=07h",
                                        "PART ID=~<NA>",
                                        "START=2048",
                                        "END=10239",
                                        "SIZE=8192",
                                        "CHS START=C:0 H:32 S:33",
                                        "CHS END=C:0 H:162 S:34",
                                        "FILE SYSTEM TYPE=UNKNOWN",
                                        "VOLUME NAME=~<NA>",
                                        "VOLUME ID=~<NA>"}
                         << 4;
    QTest::newRow("superfloppy") << "mkfs.vfat -n FLOPPY -C disk.img 4096 >/dev/null"
                                 << QStringList{"PARTITION TABLE TYPE=SUPERFLOPPY", "PARTITIONS=1",
                                                "MBR DISK ID=~<EMPTY VALUE>",       "GPT DISK ID=~<NA>",
                                                "GPT TABLE ENTRY COUNT=~<NA>",      "GPT TABLE ENTRY SIZE=~<NA>"}
                                 << QStringList{"NAME=~<NA>",
                                                "TYPE NAME=Unused",
                                                "TYPE GPT=~<NA>",
                                                "TYPE MBR=00h",
                                                "PART ID=~<NA>",
                                                "START=0",
                                                "END=8191",
                                                "SIZE=8192",
                                                "CHS START=~<NA>",
                                                "CHS END=~<NA>",
                                                "FILE SYSTEM TYPE=FAT12",
                                                "VOLUME NAME=FLOPPY",
                                                "VOLUME ID=%FSUUID%"}
                                 << 2;
}

void TestPartitions::tables()
{
    QFETCH(QString, script);
    QFETCH(QStringList, table);
    QFETCH(QStringList, first);
    QFETCH(int, groups);

    const QByteArray bytes = image(script);
    QVERIFY(!bytes.isEmpty());
    const QString file = m_dir.filePath("disk.img");
    const RefTable ref = sfdiskTable(file);
    if (!ref.partitions.isEmpty()) {
        first.replaceInStrings("%TYPE%", ref.partitions[0].type);
        first.replaceInStrings("%UUID%", ref.partitions[0].uuid);
        first.replaceInStrings(
            "%FSUUID%", blkidRange(file, ref.partitions[0].start * 512, ref.partitions[0].size * 512).value("UUID"));
    } else {
        first.replaceInStrings("%FSUUID%", blkidRange(file, 0, quint64(bytes.size())).value("UUID"));
    }
    table.replaceInStrings("%GPTID%", ref.id);

    MemoryBackend &backend = MemoryBackend::install();
    MemoryNode &node = backend.node(kPath);
    node.image = bytes;
    node.blockSize = 512;
    node.blockCount = quint64(bytes.size()) / 512;
    const Ref<Interfaces::Generic> generic = openGeneric(kPath, 0, false);
    QVERIFY(generic);

    Model::Partitions model(generic, kPath);
    const auto shown = rows(model);
    QCOMPARE(model.rowCount(), groups);
    QCOMPARE(shown.value("PARTITION TABLE"), table);
    QCOMPARE(shown.value("PARTITION 1"), first);
}

void TestPartitions::managerFailure_data()
{
    QTest::addColumn<QString>("fail");
    QTest::addColumn<QString>("logged");

    QTest::newRow("both GPT copies damaged") << ""
                                             << "Failed to create partition manager for /devices/disk0; error: 8405h";
    QTest::newRow("no storage interface") << "storage"
                                          << "Failed to create partition manager for /devices/disk0; error: 8446h";
}

void TestPartitions::managerFailure()
{
    QFETCH(QString, fail);
    QFETCH(QString, logged);

    // A protective MBR whose GPT is missing in both places.
    QByteArray disk(1 << 20, '\0');
    disk[446 + 4] = char(0xEE);
    disk[446 + 8] = 1;
    disk[446 + 12] = char(0xFF);
    disk[510] = 0x55;
    disk[511] = char(0xAA);
    MemoryBackend &backend = MemoryBackend::install();
    MemoryNode &node = backend.node(kPath);
    node.image = disk;
    node.blockSize = 512;
    node.blockCount = 2048;
    if (!fail.isEmpty())
        node.fail << fail;
    const Ref<Interfaces::Generic> generic = openGeneric(kPath, 0, false);

    LogCapture log;
    Model::Partitions model(generic, kPath);
    QCOMPARE(rows(model), (QMap<QString, QStringList>{{"PARTITION TABLE", {"PARTITION TABLE TYPE=~<ERROR>"}}}));
    QVERIFY(model.layout().segments.isEmpty());
    QVERIFY(!model.layout().reason.isEmpty());
    QVERIFY2(log.contains(logged), qPrintable(log.text()));
}

void TestPartitions::safeDiskHasNoModel()
{
    MemoryBackend &backend = MemoryBackend::install();
    MemoryNode &node = backend.node(kPath);
    node.image = QByteArray(1 << 20, '\0');
    node.blockSize = 512;
    node.blockCount = 2048;
    backend.node("/devices/other");
    backend.node("/devices/vsctrl").p0().set("STATUS", {Variant::ofText("ON")});
    backend.node("/devices/vsctrl").p0().set("NODES", {Variant::ofText("/devices/other")});
    {
        Acquisition acquisition;
        auto data = acquisition.acquireDrive(kPath, "disk");
        QVERIFY(data);
        QVERIFY(data->partitions);
    }
    backend.node("/devices/vsctrl")
        .p0()
        .set("NODES", {Variant::ofList({Variant::ofText("/devices/other"), Variant::ofText(kPath)})});
    Acquisition acquisition;
    auto data = acquisition.acquireDrive(kPath, "disk");
    QVERIFY(data);
    QVERIFY(!data->partitions);
    QVERIFY(data->general);
}

QTEST_MAIN(TestPartitions)
#include "tst_partitions.moc"
