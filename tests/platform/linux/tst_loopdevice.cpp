// The backend on the real machine, over a loop device bound to an image that
// sfdisk partitioned: listed with its size, read through the storage
// interface, reported as sfdisk reads it, and detaching it is seen by the
// watchers; one report of a disk holding ext4, FAT, btrfs and XFS reads at most
// 256 KiB per partition beyond the table and finds what blkid finds. Needs
// root; the loop devices are always detached again. Also, without root: every
// virtio disk of this machine is listed with its size, and its PCI tab names the
// function lspci shows, with the same ids and names.
#include <QtTest>

#include "../disks/DiskTools.h"
#include "TestSupport.h"
#include "platform/disks/BlockCache.h"
#include "platform/disks/FilesysNames.h"
#include "platform/disks/PartMan.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/linux/Transport.h"
#include "platform/sim/SimBackend.h"
#include "report/Report.h"

#include <unistd.h>

using namespace Services::Nodes;

namespace {
// Attaches `image` to a free loop device: its name, empty when that cannot be done here.
QString attach(const QString &image)
{
    const QString device = TestSupport::run("losetup", {"-f", "--show", image}).out.trimmed();
    return device.startsWith("/dev/loop") ? device : QString();
}

// A drive of the report as compact JSON without the "detail" of id rows: names
// from this machine's hardware database, not data of the drive, so a snapshot
// does not carry them.
QString withoutDetails(const QJsonObject &drive)
{
    static const QRegularExpression detail(QStringLiteral("\"detail\":\"(?:[^\"\\\\]|\\\\.)*\",?"));
    return QString::fromUtf8(QJsonDocument(drive).toJson(QJsonDocument::Compact)).remove(detail).replace(",}", "}");
}

// The report of the backend in use, as JSON drives by path.
QMap<QString, QJsonObject> reportByPath(const QStringList &args)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    QMap<QString, QJsonObject> drives;
    if (Applications::DriveScope::runReport(args + QStringList{"--json"}, o, e) != 0)
        return drives;
    for (const QJsonValue &d : QJsonDocument::fromJson(out.toUtf8())["drives"].toArray())
        drives.insert(d["path"].toString(), d.toObject());
    return drives;
}

// Partition n's rows of the Partitions tab, label to value.
QList<QMap<QString, QString>> partitionRows(const QJsonObject &drive)
{
    static const QRegularExpression numbered(QStringLiteral("^PARTITION \\d+$"));
    QList<QMap<QString, QString>> partitions;
    for (const QJsonValue &row : drive["tabs"]["Partitions"]["rows"].toArray()) {
        const bool header = row["header"].toBool();
        if (header && numbered.match(row["label"].toString()).hasMatch())
            partitions.append(QMap<QString, QString>());
        else if (!header && !partitions.isEmpty())
            partitions.last().insert(row["label"].toString(), row["value"].toString());
    }
    return partitions;
}

QString rowValue(const QJsonObject &drive, const QString &tab, const QString &label, const char *field = "value")
{
    for (const QJsonValue &row : drive["tabs"][tab]["rows"].toArray()) {
        if (!row["header"].toBool() && row["label"].toString() == label)
            return row[field].toString();
    }
    return QString();
}

// "00h" -> 0, "1AF4h" -> 0x1af4; -1 when it is not such a number.
int hexValue(const QString &text)
{
    bool ok = false;
    const int v = text.endsWith('h') ? text.chopped(1).toInt(&ok, 16) : -1;
    return ok ? v : -1;
}
} // namespace

class TestLoopDevice : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_image, m_device, m_path; // empty device: no loop device here

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0 || !TestSupport::missingTool({"sfdisk", "losetup", "blkid"}).isEmpty())
            return;
        const QString error =
            TestSupport::runScript(m_dir.path(), "truncate -s 16M disk.img; printf 'label: gpt\\n"
                                                 "label-id: 11223344-5566-7788-99AA-BBCCDDEEFF00\\n"
                                                 "start=2048, size=8192, name=first\\n"
                                                 "start=10240, size=8192, name=second\\n' | sfdisk -q disk.img");
        QVERIFY2(error.isEmpty(), qPrintable(error));
        m_image = QFileInfo(m_dir.filePath("disk.img")).absoluteFilePath();
        m_device = attach(m_image);
        m_path = "/devices/block/" + m_device.mid(5);
        if (!m_device.isEmpty())
            TestSupport::run("partx", {"-a", m_device}); // the kernel may lack partition parsers
    }
    void init()
    {
        if (m_device.isEmpty() && QTest::currentTestFunction() != QLatin1String("virtioDisksWithPciIds"))
            QSKIP("needs root and losetup to attach a loop device");
    }
    void cleanupTestCase()
    {
        if (!m_device.isEmpty())
            TestSupport::run("losetup", {"-d", m_device});
    }

    void virtioDisksWithPciIds()
    {
        const QString lspci = QStandardPaths::findExecutable("lspci");
        if (lspci.isEmpty())
            QSKIP("lspci (package pciutils) is not installed");
        Backend::install(Linux::createBackend());
        const QMap<QString, QJsonObject> drives = reportByPath({"--all"});
        QVERIFY(!drives.isEmpty());
        int virtio = 0;
        for (const QJsonObject &drive : drives) {
            const QString name = drive["path"].toString().section('/', -1);
            if (!name.startsWith("vd"))
                continue;
            ++virtio;
            QFile size("/sys/block/" + name + "/size");
            QVERIFY(size.open(QIODevice::ReadOnly));
            QCOMPARE(rowValue(drive, "General", "TYPE"), QString("VIRTUAL"));
            QCOMPARE(rowValue(drive, "General", "BLOCKS").toULongLong() *
                         rowValue(drive, "General", "BLOCKSIZE").toULongLong(),
                     size.readAll().trimmed().toULongLong() * 512);
            QVERIFY(!rowValue(drive, "General", "SIZE").isEmpty());

            QVERIFY2(drive["tabs"]["PCI"]["enabled"].toBool(), qPrintable(name));
            const QString address =
                QString::asprintf("%04x:%02x:%02x.%x", hexValue(rowValue(drive, "PCI", "SEGMENT")),
                                  hexValue(rowValue(drive, "PCI", "BUS")), hexValue(rowValue(drive, "PCI", "DEVICE")),
                                  hexValue(rowValue(drive, "PCI", "FUNCTION")));
            // 0000:00:02.0 "class" "vendor" "device" -r01 -p00 "subsystem vendor" "subsystem device",
            // with -n as hexadecimal ids.
            const QStringList ids = TestSupport::run(lspci, {"-mm", "-n", "-D", "-s", address}).out.split('"');
            const QStringList names = TestSupport::run(lspci, {"-mm", "-D", "-s", address}).out.split('"');
            QVERIFY2(ids.size() >= 6 && names.size() >= 6,
                     qPrintable(name + " at " + address + " is not known to lspci"));
            QCOMPARE(ids[0].trimmed(), address);
            QCOMPARE(hexValue(rowValue(drive, "PCI", "CLASSCODE")) >> 8, ids[1].toInt(nullptr, 16));
            QCOMPARE(hexValue(rowValue(drive, "PCI", "VENDOR")), ids[3].toInt(nullptr, 16));
            QCOMPARE(hexValue(rowValue(drive, "PCI", "PRODUCT")), ids[5].toInt(nullptr, 16));
            QCOMPARE(rowValue(drive, "PCI", "VENDOR", "detail"), names[3]);
            QCOMPARE(rowValue(drive, "PCI", "PRODUCT", "detail"), names[5]);
        }
        if (virtio == 0)
            QSKIP("this machine has no virtio disk");
    }

    void listedAndRead()
    {
        auto backend = Linux::createBackend();
        const QList<DriveEntry> drives = backend->drives();
        QVERIFY(std::any_of(drives.cbegin(), drives.cend(),
                            [&](const DriveEntry &e) { return e.path == m_path && e.label.contains(m_image); }));
        const auto provider = backend->provider(backend->open(m_path), 0);
        QVERIFY(provider);
        const auto generic = backend->generic(provider);
        QCOMPARE(generic->read("NAME").value(0).text, m_image);
        QCOMPARE(generic->read("DISK_SIGNATURE").value(0).text, QStringLiteral("11223344-5566-7788-99AA-BBCCDDEEFF00"));

        // A loop device held open is only detached at its last close: these go at the end.
        auto storage = backend->storage(provider);
        auto lockable = backend->lockable(provider);
        QVERIFY(storage && lockable);
        QCOMPARE(storage->blockSize() * storage->blockCount(), quint64(16 * 1024 * 1024));
        QByteArray block(int(storage->blockSize()), '\0');
        QVERIFY(lockable->lock());
        QVERIFY(storage->read(1, 1, block.data()) && block.startsWith("EFI PART"));
        QVERIFY(storage->read(storage->blockCount() - 1, 1, block.data()) &&
                !storage->read(storage->blockCount() - 1, 2, block.data())); // the last block, not beyond
        lockable->unlock();
    }

    // The Partitions tab of the report shows what sfdisk reads from the device;
    // a snapshot with images, replayed by the simulator, gives the same report
    // for every drive it holds.
    void reportMatchesSfdiskAndSnapshot()
    {
        Backend::install(Linux::createBackend());
        const QMap<QString, QJsonObject> live = reportByPath({"--all"});
        QVERIFY(live.contains(m_path));
        const QByteArray json = TestSupport::run("sfdisk", {"--json", m_device}).out.toUtf8();
        const QJsonArray expected = QJsonDocument::fromJson(json)["partitiontable"]["partitions"].toArray();
        const auto shown = partitionRows(live[m_path]);
        QCOMPARE(shown.size(), expected.size());
        for (int i = 0; i < shown.size(); ++i) {
            QCOMPARE(QStringList({shown[i]["START"], shown[i]["SIZE"], shown[i]["NAME"], shown[i]["PART ID"]}),
                     QStringList({QString::number(expected[i]["start"].toInteger()),
                                  QString::number(expected[i]["size"].toInteger()), expected[i]["name"].toString(),
                                  expected[i]["uuid"].toString().toUpper()}));
        }

        QTemporaryDir dir;
        const QString file = dir.filePath("machine.json");
        QString out, err;
        QTextStream o(&out), e(&err);
        QCOMPARE(Applications::DriveScope::runReport({"--snapshot", file, "--with-images"}, o, e), 0);
        Backend::install(Sim::createBackend(file));
        const QMap<QString, QJsonObject> replayed = reportByPath({"--all"});
        Backend::install(Linux::createBackend());
        QVERIFY(replayed.contains(m_path));
        for (auto it = replayed.cbegin(); it != replayed.cend(); ++it)
            QCOMPARE(withoutDetails(it.value()), withoutDetails(live.value(it.key())));
    }

    void readBudget()
    {
        const QString missing = TestSupport::missingTool({"mkfs.ext4", "mkfs.vfat", "mkfs.btrfs", "mkfs.xfs"});
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing + " is not installed"));
        QTemporaryDir dir;
        const QString error =
            TestSupport::runScript(dir.path(), QStringLiteral(". '" TESTS_DIR "/data/disks/put.sh'; . '" TESTS_DIR
                                                              "/data/platform/loop-fs.sh'"));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QString device = attach(dir.filePath("disk.img")), path = "/devices/block/" + device.mid(5);
        QVERIFY(!device.isEmpty());
        auto detach = qScopeGuard([&] { TestSupport::run("losetup", {"-d", device}); });

        Backend::install(Linux::createBackend());
        const Ref<Provider> provider = Provider::create(Services::Filesystem::Client::Nodes::open(path), 0);
        Ref<Interfaces::Storage> held = Providers::Storage::create(provider);
        QVERIFY(held);
        const QMap<QString, QJsonObject> report = reportByPath({"--drive", path});
        auto tableOnly = std::make_shared<Libraries::Disks::BlockCache>(Backend::instance().storage(provider));
        using Libraries::Disks::PartMan::PartitionManager;
        QVERIFY(PartitionManager::create(tableOnly, nullptr, nullptr, PartitionManager::NoFilesystemProbe));
        QVERIFY2(held->bytesRead() <= tableOnly->bytesRead() + 4 * 256 * 1024,
                 qPrintable(QString("%1 bytes, the table %2").arg(held->bytesRead()).arg(tableOnly->bytesRead())));
        held.reset();
        tableOnly.reset();

        const auto shown = partitionRows(report.value(path));
        QCOMPARE(shown.size(), 4);
        const QStringList types{"ext4", "vfat", "btrfs", "xfs"};
        for (int i = 0; i < 4; ++i) {
            const auto fs = TestSupport::blkidRange(device, shown[i]["START"].toULongLong() * 512, 32768 * 512);
            QCOMPARE(fs.value("TYPE"), types[i]);
            using Libraries::Disks::PartMan::FilesysNames;
            QCOMPARE(QStringList({shown[i]["FILE SYSTEM TYPE"], shown[i]["VOLUME NAME"], shown[i]["VOLUME ID"]}),
                     QStringList({FilesysNames::FSTypeToName(
                                      FilesysNames::typeFromProbe(fs.value("TYPE"), fs.value("VERSION"))),
                                  fs.value("LABEL"), fs.value("UUID")}));
        }
    }

    // A loop device knows none of the commands: every transport answers "not
    // this kind of device" and nothing breaks.
    void commandsToLoopDevice()
    {
        const Linux::Reader reader;
        // Each command under the class that allows it, so the kernel answers.
        const QString name = m_device.mid(5);
        Linux::RawDevice raw(reader, {name, "/block/" + name, true}, Linux::Allowlist::DeviceClass::ScsiDisk);
        QVERIFY(raw.isOpen());
        const auto refused = [&](const QByteArray &reply) {
            return reply.isNull() && raw.failure() == Linux::Failure::NotSupported;
        };
        Linux::Commands::Sense sense;
        QVERIFY(refused(raw.ata(Linux::Commands::AtaCommand::CheckPowerMode, &sense)));
        QVERIFY(refused(raw.inquiry(false, 0, 96)));
        raw.setDeviceClass(Linux::Allowlist::DeviceClass::Nvme);
        QVERIFY(refused(raw.nvmeIdentify(1, 0)));
        raw.setDeviceClass(Linux::Allowlist::DeviceClass::Mmc);
        QVERIFY(refused(raw.mmcExtCsd()));

        Linux::RawDevice missing(reader, {"no-such-device", "/block/no-such-device", true},
                                 Linux::Allowlist::DeviceClass::Plain);
        QVERIFY(!missing.isOpen());
        QCOMPARE(int(missing.openFailure()), int(Linux::Failure::DeviceError));
    }

    // Last: detaching the device is seen by its watcher and the list's.
    void detachIsSeen()
    {
        auto backend = Linux::createBackend();
        const auto watcher = backend->deviceClient(m_path);
        const auto listWatcher = backend->driveListClient();
        QVERIFY(watcher && listWatcher);
        QCOMPARE(TestSupport::run("losetup", {"-d", m_device}).exitCode, 0);
        m_device.clear();
        QVERIFY(watcher->wait(5000));
        QVERIFY2(watcher->eventType() == 2 || watcher->eventType() == 3,
                 qPrintable(QString::number(watcher->eventType())));
        watcher->acknowledge();
        QVERIFY(listWatcher->wait(5000));
        QCOMPARE(listWatcher->eventType(), 3u);
        for (const DriveEntry &e : backend->drives())
            QVERIFY2(e.path != m_path, "a detached loop device is still listed");
    }
};

QTEST_GUILESS_MAIN(TestLoopDevice)
#include "tst_loopdevice.moc"
