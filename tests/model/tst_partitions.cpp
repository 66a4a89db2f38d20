// The Partitions tab over real images built with sfdisk/sgdisk and mkfs, and the
// manager-failure placeholder. (The safe-disk rule is the acquisition's test.)
#include <QTemporaryDir>
#include <QtTest>

#include "../platform/disks/DiskTools.h"
#include "TestSupport.h"
#include "model/NodeUtils.h"
#include "model/Partitions.h"
#include "platform/sim/SimBackend.h"

using namespace Applications::DriveScope;
using namespace TestSupport;

const QString kPath = QStringLiteral("/devices/disk0");

class TestPartitions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        const QString missing = missingTool({"sfdisk", "sgdisk", "blkid", "mkfs.vfat", "mkfs.ext4"});
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing + " is not installed"));
        QVERIFY(m_dir.isValid());
    }

    // What the tab shows for each table is kept in tests/expected/model/partitions.txt,
    // with the identifiers sfdisk and blkid report for the image put back as names.
    void tables()
    {
        const QList<std::pair<const char *, QString>> scripts = {
            {"gpt", "truncate -s 16M disk.img\n"
                    "sgdisk -o -n 1:2048:+8M -t 1:ef00 -c 1:'EFI system' -n 2:0:+2M -t 2:8300 disk.img >/dev/null\n"
                    "mkfs.vfat -n ESP -C p1 8192 >/dev/null\n"
                    "dd if=p1 of=disk.img bs=512 seek=2048 conv=notrunc status=none"},
            {"mbr", "truncate -s 16M disk.img\n"
                    "printf 'label: dos\\nlabel-id: 0x00c0ffee\\nstart=2048, size=8192, type=7\\n"
                    "start=10240, type=5\\nsize=2048, type=83\\n' | sfdisk -q disk.img"},
            {"superfloppy", "mkfs.vfat -n FLOPPY -C disk.img 4096 >/dev/null"},
        };
        QString out;
        for (const auto &[name, script] : scripts) {
            const QByteArray bytes = image(script);
            QVERIFY(!bytes.isEmpty());
            const QString file = m_dir.filePath("disk.img");
            const RefTable ref = sfdiskTable(file);
            const RefPartition first =
                ref.partitions.value(0, RefPartition{0, 0, quint64(bytes.size()) / 512, {}, {}, {}});
            MemoryBackend &backend = MemoryBackend::install();
            MemoryNode &node = backend.node(kPath);
            node.image = bytes;
            node.blockSize = 512;
            node.blockCount = quint64(bytes.size()) / 512;
            Model::Partitions model(openGeneric(kPath, 0, false), kPath);
            QString shown = shownText(model);
            QList<std::pair<QString, QString>> ids = {
                {ref.id, "<GPT ID>"},
                {blkidRange(file, first.start * 512, first.size * 512).value("UUID"), "<FS UUID>"}};
            for (const RefPartition &p : ref.partitions)
                ids.append({p.uuid, QStringLiteral("<PART %1 UUID>").arg(p.number)});
            for (const auto &[id, placeholder] : ids)
                if (id.size() > 4)
                    shown.replace(id, placeholder);
            out += QStringLiteral("=== %1\n").arg(name) + shown;
        }
        COMPARE_GOLDEN("model/partitions.txt", out);
    }

    void managerFailure_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        QTest::newRow("both GPT copies damaged") << "/devices/disk0"
                                                 << "8405h";
        QTest::newRow("no storage interface") << "/devices/disk1"
                                              << "8446h";
    }

    // A protective MBR whose GPT is missing in both places (tests/data/model/protective-mbr.*).
    void managerFailure()
    {
        QFETCH(QString, path);
        QFETCH(QString, error);
        Services::Nodes::Backend::install(
            Services::Nodes::Sim::createBackend(QStringLiteral(TESTS_DIR "/data/model/protective-mbr.json")));
        const Ref<Interfaces::Generic> generic = openGeneric(path, 0, false);
        LogCapture log;
        Model::Partitions model(generic, path);
        QCOMPARE(shownText(model), QString("[PARTITION TABLE]\nPARTITION TABLE TYPE = ~<ERROR>\n"));
        QVERIFY(model.layout().segments.isEmpty());
        QVERIFY(!model.layout().reason.isEmpty());
        QVERIFY2(log.contains("Failed to create partition manager for " + path + "; error: " + error),
                 qPrintable(log.text()));
    }

private:
    QByteArray image(const QString &script);
    QTemporaryDir m_dir;
};

QByteArray TestPartitions::image(const QString &script)
{
    QFile::remove(m_dir.filePath("disk.img"));
    const QString error = runScript(m_dir.path(), script);
    if (!error.isEmpty())
        qWarning() << error;
    QFile f(m_dir.filePath("disk.img"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QTEST_MAIN(TestPartitions)
#include "tst_partitions.moc"
