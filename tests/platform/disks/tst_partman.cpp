// The partition manager against sfdisk/fdisk and blkid on images built at test
// time, and against damaged and hostile tables.
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include "DiskTools.h"
#include "ImageStorage.h"
#include "TestSupport.h"
#include "platform/Error.h"
#include "platform/disks/FilesysNames.h"
#include "platform/disks/PartMan.h"

using namespace Libraries::Disks::PartMan;
using namespace TestSupport;

namespace {

QString uuidText(const QUuid &u)
{
    return u.toString(QUuid::WithoutBraces).toUpper();
}

// The MBR type byte of a partition as sfdisk writes it.
QString legacyType(const Ref<Partition> &p)
{
    return QString("%1").arg(Partition::getLegacyTypeFromUUID(p->typeUUID()), 2, 16, QChar('0')).toUpper();
}

// Rewrites the CRCs of the GPT header at `lba` (and of its entry array when `entries`).
void fixGpt(QByteArray &disk, quint64 lba, bool entries = false)
{
    const qsizetype h = qsizetype(lba * 512);
    if (entries) {
        const quint64 array = qFromLittleEndian<quint64>(disk.constData() + h + 72) * 512;
        const quint32 count = qFromLittleEndian<quint32>(disk.constData() + h + 80);
        const quint32 size = qFromLittleEndian<quint32>(disk.constData() + h + 84);
        qToLittleEndian<quint32>(crc32(disk.constData() + array, quint64(count) * size), disk.data() + h + 88);
    }
    qToLittleEndian<quint32>(0, disk.data() + h + 16);
    qToLittleEndian<quint32>(crc32(disk.constData() + h, 92), disk.data() + h + 16);
}

} // namespace

class TestPartMan : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_smallGpt; // 8 MiB, two partitions, no file systems

    QString build(const QString &script)
    {
        static int n = 0;
        const QString dir = m_dir.filePath(QString::number(++n));
        QDir().mkpath(dir);
        // A name ending in .sh is a script under tests/data/, run after the helpers in disks/put.sh.
        const QString error = runScript(
            dir, script.endsWith(".sh")
                     ? QString(". '%1/disks/put.sh'; . '%1/%2'").arg(QStringLiteral(TESTS_DIR "/data"), script)
                     : script);
        return error.isEmpty() ? dir + "/disk.img" : "!" + error;
    }

private slots:
    void initTestCase()
    {
        const QString missing = missingTool({"sfdisk", "sgdisk", "fdisk", "blkid", "mkfs.vfat", "mkfs.ext4", "mkswap"});
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing + " is not installed"));
        QVERIFY(m_dir.isValid());
        const QString error = runScript(m_dir.path(), "truncate -s 8M small.img && sgdisk -o -n 1:2048:+2M -c 1:one "
                                                      "-n 2:0:+2M -t 2:8200 small.img >/dev/null");
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QFile f(m_dir.filePath("small.img"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        m_smallGpt = f.readAll();
    }

    void matchesTools_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("sectorSize");
        QTest::addColumn<int>("tableType");
        QTest::addColumn<int>("fileSystems");

        const int gpt = PartitionManager::TableGpt;
        QTest::newRow("gpt") << QString("disks/gpt.sh") << 512 << gpt << 4;
        QTest::newRow("gpt 4096-byte sectors") << QString("disks/gpt4k.sh") << 4096 << gpt << 2;
        QTest::newRow("mbr with 40 logical")
            << QString("disks/mbr-chain.sh") << 512 << int(PartitionManager::TableMbrExtended) << 4;
        QTest::newRow("hybrid mbr") << QString("disks/hybrid.sh") << 512 << int(PartitionManager::TableSyncedGpt) << 1;
    }

    void matchesTools()
    {
        QFETCH(QString, script);
        QFETCH(int, sectorSize);
        QFETCH(int, tableType);
        QFETCH(int, fileSystems);

        const QString image = build(script);
        QVERIFY2(!image.startsWith('!'), qPrintable(image));
        const RefTable ref = sectorSize == 512 ? sfdiskTable(image) : fdiskGptTable(image, sectorSize);
        QVERIFY(!ref.label.isEmpty());

        // libblkid reads the image's descriptor; without one, copies of the pieces it needs.
        auto storage = std::make_shared<ImageStorage>(image, sectorSize, 0, true);
        auto lock = std::make_shared<TestLock>();
        const Ref<PartitionManager> m = PartitionManager::create(storage, nullptr, lock, 0);
        const Ref<PartitionManager> copied =
            PartitionManager::create(std::make_shared<ImageStorage>(image, sectorSize), nullptr, nullptr, 0);
        auto tableOnly = std::make_shared<ImageStorage>(image, sectorSize);
        QVERIFY(m && copied &&
                PartitionManager::create(tableOnly, nullptr, nullptr, PartitionManager::NoFilesystemProbe));
        QVERIFY2(storage->bytesReadTotal <= tableOnly->bytesReadTotal + 256 * 1024 * m->partitionCount(),
                 qPrintable(QString::number(storage->bytesReadTotal)));
        QCOMPARE(lock->held, 0);
        QCOMPARE(m->tableType(), tableType);
        const bool gpt = ref.label == "gpt";
        QCOMPARE(gpt ? uuidText(m->gptDiskGuid())
                     : QString("0x%1").arg(m->mbrDiskSignature(), 8, 16, QChar('0')).toUpper(),
                 ref.id);
        if (gpt)
            QCOMPARE(QList<quint32>({m->gptEntryCount(), m->gptEntrySize()}), QList<quint32>({ref.tableLength, 128}));
        else
            QCOMPARE(ref.label, QString("dos"));
        QCOMPARE(m->partitionCount(), quint32(ref.partitions.size()));

        int found = 0;
        for (quint32 i = 0; i < m->partitionCount(); ++i) {
            const Ref<Partition> p = m->partition(i);
            const RefPartition &r = ref.partitions.at(i);
            QCOMPARE(QList<quint64>({p->start(), p->size()}), QList<quint64>({r.start, r.size}));
            if (gpt) {
                QCOMPARE(p->kind(), int(Partition::KindGpt));
                QCOMPARE(QStringList({uuidText(p->typeUUID()), uuidText(p->uniqueGUID()), p->name()}),
                         QStringList({r.type, r.uuid, r.name}));
            } else {
                QCOMPARE(legacyType(p), r.type);
                QCOMPARE(p->kind(), r.type == "05" ? int(Partition::KindMbrExtended)
                                    : i < 3        ? int(Partition::KindMbrPrimary)
                                                   : int(Partition::KindMbrLogical));
            }
            if (p->kind() == Partition::KindMbrExtended)
                continue;
            const auto fs = blkidRange(image, p->start() * sectorSize, p->size() * sectorSize);
            QCOMPARE(QStringList({FilesysNames::probeName(p->fsType()), p->volumeName(), p->volumeId()}),
                     QStringList({fs.value("TYPE"), fs.value("LABEL"), fs.value("UUID")}));
            if (fs.value("TYPE") == "vfat")
                QCOMPARE(FilesysNames::FSTypeToName(p->fsType()), fs.value("VERSION"));
            const Ref<Partition> c = copied->partition(i);
            QCOMPARE(QStringList({FilesysNames::FSTypeToName(c->fsType()), c->volumeName(), c->volumeId()}),
                     QStringList({FilesysNames::FSTypeToName(p->fsType()), p->volumeName(), p->volumeId()}));
            found += p->fsType() != 0;
        }
        QCOMPARE(found, fileSystems);

        // The entries of a hybrid MBR as sfdisk reads them nested in the GPT.
        const QList<RefPartition> nested =
            tableType == PartitionManager::TableSyncedGpt ? sfdiskTable(image, true).partitions : QList<RefPartition>();
        if (tableType == PartitionManager::TableSyncedGpt)
            QVERIFY(nested.size() == 3 && m->mbrPartitionCount() == 3);
        for (quint32 i = 0; i < quint32(nested.size()); ++i) {
            const Ref<Partition> p = m->mbrPartition(i);
            QCOMPARE(p->kind(), int(Partition::KindMbrHybrid));
            QCOMPARE(QList<quint64>({p->start(), p->size()}), QList<quint64>({nested[i].start, nested[i].size}));
            QCOMPARE(legacyType(p), nested[i].type);
        }

        if (!gpt) {
            // sfdisk starts the first partition at 2048 = C0 H32 S33 in the 255-head, 63-sector geometry.
            quint32 c = 9, h = 9, s = 9;
            QVERIFY(Partition::splitCHS(m->partition(0)->chsStart(), c, h, s));
            QCOMPARE(QList<quint32>({c, h, s}), QList<quint32>({0, 32, 33}));
            QVERIFY(m->partition(0)->bootable());
        }
    }

    void tableKinds_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("tableType");

        const QString dos = "truncate -s 8M disk.img; printf 'label: dos\n%1' | sfdisk -q disk.img";
        const QString gpt = "truncate -s 8M disk.img; sgdisk -o -n 1:2048:+1M %1 disk.img >/dev/null";
        const QString damagePrimary = "; printf X | dd of=disk.img bs=1 seek=512 conv=notrunc status=none";
        QTest::newRow("mbr, primaries only") << dos.arg("size=2048, type=83\n") << int(PartitionManager::TableMbr);
        QTest::newRow("mbr, empty table") << dos.arg("") << int(PartitionManager::TableMbr);
        QTest::newRow("mbr with LDM") << dos.arg("size=4096, type=42\n") << int(PartitionManager::TableDistributed);
        QTest::newRow("gpt with LDM metadata")
            << gpt.arg("-t 1:4200 -n 2:0:+1M -t 2:4201") << int(PartitionManager::TableDistributed);
        QTest::newRow("gpt from its backup") << gpt.arg("") + damagePrimary << int(PartitionManager::TableGptBackup);
        QTest::newRow("hybrid gpt from its backup") << gpt.arg("") + "; sgdisk -h 1 disk.img >/dev/null" + damagePrimary
                                                    << int(PartitionManager::TableSyncedGptBackup);
        // No table but a file system: one partition, the whole disk (its volume: tst_partitions).
        QTest::newRow("superfloppy") << "mkfs.vfat -n FLOPPY -C disk.img 8192 >/dev/null"
                                     << int(PartitionManager::TableSuperfloppy);
    }

    void tableKinds()
    {
        QFETCH(QString, script);
        QFETCH(int, tableType);
        const QString image = build(script);
        QVERIFY2(!image.startsWith('!'), qPrintable(image));
        const Ref<PartitionManager> m =
            PartitionManager::create(std::make_shared<ImageStorage>(image), nullptr, nullptr, 0);
        QVERIFY(m);
        QCOMPARE(m->tableType(), tableType);
        if (tableType == PartitionManager::TableSuperfloppy)
            QVERIFY(m->partitionCount() == 1 && m->partition(0)->kind() == Partition::KindVolume);
        else
            QCOMPARE(m->partitionCount(), quint32(sfdiskTable(image).partitions.size()));
    }

    void appleMap()
    {
        const QString image = build("platform/apm.sh");
        QVERIFY2(!image.startsWith('!'), qPrintable(image));
        const Ref<PartitionManager> m =
            PartitionManager::create(std::make_shared<ImageStorage>(image), nullptr, nullptr, 0);
        QVERIFY(m && m->tableType() == PartitionManager::TableApm && m->partitionCount() == 2);
        const Ref<Partition> p = m->partition(1);
        QCOMPARE(QStringList({p->name(), QString::number(p->start()), QString::number(p->size()),
                              PartitionNames::UUIDtoName(p->typeUUID(), false)}),
                 QStringList({"Macintosh HD", "64", "1000", "Apple HFS/HFS+"}));
    }

    void hostileGpt_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("tableType"); // -1: no manager
        QTest::addColumn<QString>("warning");

        const int backup = PartitionManager::TableGptBackup, gpt = PartitionManager::TableGpt;
        QTest::newRow("2^32-1 entries") << "count" << backup << "entry count of 4294967295";
        QTest::newRow("entry size 0") << "size0" << backup << "bad entry size 0";
        QTest::newRow("entry size 2^31") << "size2g" << backup << "bad entry size 2147483648";
        QTest::newRow("primary signature gone") << "signature" << backup << "no signature";
        QTest::newRow("primary entries damaged") << "entries" << backup << "entry array CRC";
        QTest::newRow("both copies damaged") << "both" << -1 << "";
        QTest::newRow("both with 2^32-1 entries") << "bothcount" << -1 << "";
        QTest::newRow("entry beyond the end") << "beyond" << gpt << "beyond the end";
        QTest::newRow("32768 partitions") << "many" << gpt << "more than 4096 partitions";
        QTest::newRow("truncated image") << "truncated" << gpt << "truncated";
    }
    void hostileGpt()
    {
        QFETCH(QString, change);
        QFETCH(int, tableType);
        QFETCH(QString, warning);
        QVERIFY(!m_smallGpt.isEmpty());

        QByteArray disk = m_smallGpt;
        const quint64 backup = quint64(disk.size()) / 512 - 1;
        auto set32 = [&](quint64 lba, int at, quint32 v) { qToLittleEndian(v, disk.data() + lba * 512 + at); };
        if (change == "count" || change == "bothcount") {
            set32(1, 80, 0xFFFFFFFF);
            fixGpt(disk, 1);
            if (change == "bothcount") {
                set32(backup, 80, 0xFFFFFFFF);
                fixGpt(disk, backup);
            }
        } else if (change == "size0" || change == "size2g") {
            set32(1, 84, change == "size0" ? 0 : 0x80000000);
            fixGpt(disk, 1);
        } else if (change == "signature") {
            disk[512] = 'X';
        } else if (change == "entries") {
            disk[1024 + 60] = 'Z'; // a name character of entry 1
        } else if (change == "both") {
            disk[512] = 'X';
            disk[backup * 512 + 20] = char(disk[backup * 512 + 20] ^ 1); // header CRC
        } else if (change == "beyond") {
            for (quint64 lba : {quint64(1), backup}) {
                const quint64 array = qFromLittleEndian<quint64>(disk.constData() + lba * 512 + 72);
                qToLittleEndian<quint64>(quint64(1) << 40, disk.data() + array * 512 + 128 + 40);
                fixGpt(disk, lba, true);
            }
        } else if (change == "many") {
            // A 4 MiB entry array at block 2 whose every entry is a one-block partition.
            disk = QByteArray(16 << 20, '\0');
            disk.replace(0, 1024, m_smallGpt.left(1024));
            const quint32 count = 32768;
            set32(1, 80, count);
            qToLittleEndian<quint64>(32767, disk.data() + 512 + 48); // last usable
            qToLittleEndian<quint64>(1, disk.data() + 512 + 32);     // no backup
            for (quint32 i = 0; i < count; ++i) {
                char *e = disk.data() + 1024 + qsizetype(i) * 128;
                memcpy(e, m_smallGpt.constData() + 1024, 16);
                qToLittleEndian<quint64>(10000 + i, e + 32);
                qToLittleEndian<quint64>(10000 + i, e + 40);
            }
            fixGpt(disk, 1, true);
        } else if (change == "truncated") {
            disk.truncate(disk.size() / 2);
        }

        auto storage = std::make_shared<ImageStorage>(disk);
        LogCapture log;
        const Ref<PartitionManager> m = PartitionManager::create(storage, nullptr, nullptr, 0);
        QVERIFY(storage->bytesReadTotal < 8u << 20 && storage->reads < 2000);
        if (tableType < 0) {
            QVERIFY(!m);
            QCOMPARE(Error::get(), quint32(Error::BadData));
            QVERIFY(log.contains("No usable GPT"));
            return;
        }
        QVERIFY(m);
        QCOMPARE(m->tableType(), tableType);
        QCOMPARE(QList<quint32>({m->partitionCount(), m->gptEntryCount()}),
                 change == "many" ? QList<quint32>({4096, 32768}) : QList<quint32>({2, 128}));
        QVERIFY2(m->warnings().join('\n').contains(warning), qPrintable(m->warnings().join('\n')));
        if (tableType == PartitionManager::TableGptBackup) {
            QCOMPARE(m->gptHeaderLba(), backup);
            QVERIFY(log.contains("using the backup header"));
        }
        if (change == "beyond" || change == "truncated") {
            QVERIFY(!m->partition(1)->withinDisk() && m->partition(1)->fsType() == 0);
        }
    }

    void loopingChain()
    {
        const QString image = build("truncate -s 16M disk.img; printf 'label: dos\nstart=2048, type=5\nsize=1024\n"
                                    "size=1024\nsize=1024\n' | sfdisk -q disk.img");
        QVERIFY2(!image.startsWith('!'), qPrintable(image));
        QFile f(image);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray disk = f.readAll();
        // Follow the links to the third record and point its link back at the second.
        const auto link = [&](quint32 ebr) { return disk.data() + ebr * 512 + 446 + 16; }; // its second entry
        const quint32 second = 2048 + qFromLittleEndian<quint32>(link(2048) + 8);
        const quint32 third = 2048 + qFromLittleEndian<quint32>(link(second) + 8);
        qToLittleEndian<quint32>(second - 2048, link(third) + 8);
        qToLittleEndian<quint32>(1024, link(third) + 12);
        link(third)[4] = 5;

        const Ref<PartitionManager> m = PartitionManager::create(std::make_shared<ImageStorage>(disk), nullptr, nullptr,
                                                                 PartitionManager::NoFilesystemProbe);
        QVERIFY(m && m->tableType() == PartitionManager::TableMbrExtended);
        QCOMPARE(m->partitionCount(), 4u); // the extended partition and three logical ones, once each
        QVERIFY(m->warnings().join('\n').contains("loops back"));
    }

    void deviceProblems()
    {
        // No blocks at all, or only zeros: no table, and no failure.
        Ref<PartitionManager> m;
        for (const QByteArray &blocks : {QByteArray(), QByteArray(8 << 20, '\0')}) {
            m = PartitionManager::create(std::make_shared<ImageStorage>(blocks), nullptr, nullptr, 0);
            QVERIFY(m && m->tableType() == PartitionManager::TableNone && m->partitionCount() == 0 && !m->partition(0));
        }

        auto storage = std::make_shared<ImageStorage>(m_smallGpt);
        storage->failing.insert(0);
        QVERIFY(!PartitionManager::create(storage, nullptr, nullptr, 0));
        QCOMPARE(Error::get(), quint32(Error::IoFailed));

        auto lock = std::make_shared<TestLock>();
        lock->refuse = true;
        QVERIFY(!PartitionManager::create(std::make_shared<ImageStorage>(m_smallGpt), nullptr, lock, 0));
        QCOMPARE(Error::get(), quint32(Error::AccessDenied));

        QVERIFY(!PartitionManager::create(nullptr, nullptr, nullptr, 0));
        QCOMPARE(Error::get(), quint32(Error::BadArguments));

        // A damaged primary header with a readable backup still gives the table.
        storage = std::make_shared<ImageStorage>(m_smallGpt);
        storage->failing.insert(1);
        m = PartitionManager::create(storage, nullptr, nullptr, 0);
        QVERIFY(m && m->tableType() == PartitionManager::TableGptBackup);
    }
};

QTEST_GUILESS_MAIN(TestPartMan)
#include "tst_partman.moc"
