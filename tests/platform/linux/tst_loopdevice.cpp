// The backend on the real machine, over a loop device bound to an image that
// sfdisk partitioned: listed with its size, partition table read through the
// storage interface, and detaching it is seen by the watchers; one report of a
// disk holding ext4, FAT, btrfs and XFS reads at most 256 KiB per partition
// beyond the table and finds what blkid finds. Needs root; the loop device is
// always detached again.
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
bool run(const QString &program, const QStringList &arguments, QString *output = nullptr,
         const QByteArray &input = QByteArray())
{
    const TestSupport::Run done = TestSupport::run(program, arguments, {}, input);
    if (output)
        *output = done.out.trimmed();
    return done.exitCode == 0;
}

// The report of the backend in use, as JSON drives by path.
// Drops the "detail" of id rows: names from this machine's hardware database,
// not data of the drive, so a snapshot does not carry them.
QJsonValue withoutDetails(const QJsonValue &v)
{
    if (v.isArray()) {
        QJsonArray a;
        for (const QJsonValue &e : v.toArray())
            a.append(withoutDetails(e));
        return a;
    }
    if (!v.isObject())
        return v;
    QJsonObject o;
    const QJsonObject in = v.toObject();
    for (auto it = in.begin(); it != in.end(); ++it)
        if (it.key() != QLatin1String("detail"))
            o.insert(it.key(), withoutDetails(it.value()));
    return o;
}

QMap<QString, QJsonObject> reportByPath(const QStringList &args)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    QMap<QString, QJsonObject> drives;
    if (Applications::DriveScope::runReport(args + QStringList{"--json"}, o, e) != 0)
        return drives;
    for (const QJsonValue &d : QJsonDocument::fromJson(out.toUtf8())["drives"].toArray())
        drives.insert(d["path"].toString(), withoutDetails(d).toObject());
    return drives;
}

// Partition n's rows of the Partitions tab, label to value.
QList<QMap<QString, QString>> partitionRows(const QJsonObject &drive)
{
    QList<QMap<QString, QString>> partitions;
    for (const QJsonValue &row : drive["tabs"]["Partitions"]["rows"].toArray()) {
        if (row["header"].toBool()) {
            static const QRegularExpression numbered(QStringLiteral("^PARTITION \\d+$"));
            if (numbered.match(row["label"].toString()).hasMatch())
                partitions.append(QMap<QString, QString>());
        } else if (!partitions.isEmpty()) {
            partitions.last().insert(row["label"].toString(), row["value"].toString());
        }
    }
    return partitions;
}
} // namespace

class TestLoopDevice : public QObject {
    Q_OBJECT
private slots:
    void attachedImage()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to attach a loop device");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString image = QFileInfo(dir.path() + "/disk.img").absoluteFilePath();
        {
            QFile f(image);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(16 * 1024 * 1024));
        }
        const QByteArray script = "label: gpt\nlabel-id: 11223344-5566-7788-99AA-BBCCDDEEFF00\n"
                                  "start=2048, size=8192, name=first\nstart=10240, size=8192, name=second\n";
        if (!run("sfdisk", {"--no-reread", "--no-tell-kernel", image}, nullptr, script))
            QSKIP("sfdisk is not available");
        QString device;
        if (!run("losetup", {"-f", "--show", image}, &device) || !device.startsWith("/dev/loop"))
            QSKIP("losetup cannot attach a loop device here");
        bool attached = true;
        auto detach = qScopeGuard([&] {
            if (attached)
                run("losetup", {"-d", device});
        });
        run("partx", {"-a", device}); // the kernel may lack partition parsers
        const QString name = device.mid(5);
        const QString path = "/devices/block/" + name;

        auto backend = Linux::createBackend();
        const QList<DriveEntry> drives = backend->drives();
        QVERIFY(std::any_of(drives.cbegin(), drives.cend(),
                            [&](const DriveEntry &e) { return e.path == path && e.label.contains(image); }));
        const auto provider = backend->provider(backend->open(path), 0);
        QVERIFY(provider);
        const auto generic = backend->generic(provider);
        QCOMPARE(generic->read("NAME").value(0).text, image);
        QCOMPARE(generic->read("DISK_SIGNATURE").value(0).text, QStringLiteral("11223344-5566-7788-99AA-BBCCDDEEFF00"));

        auto storage = backend->storage(provider);
        auto lockable = backend->lockable(provider);
        QVERIFY(storage && lockable);
        QCOMPARE(storage->blockSize() * storage->blockCount(), quint64(16 * 1024 * 1024));
        QByteArray block(int(storage->blockSize()), '\0');
        QVERIFY(lockable->lock());
        QVERIFY(storage->read(1, 1, block.data()) && block.startsWith("EFI PART"));
        QVERIFY(storage->read(storage->blockCount() - 1, 1, block.data()));
        QVERIFY(!storage->read(storage->blockCount() - 1, 2, block.data()));
        lockable->unlock();
        // A loop device held open is only detached at its last close.
        storage.reset();
        lockable.reset();
        reportMatchesSfdiskAndSnapshot(device, path);
        if (QTest::currentTestFailed())
            return;

        const auto watcher = backend->deviceClient(path);
        const auto listWatcher = backend->driveListClient();
        QVERIFY(watcher && listWatcher);
        QVERIFY(run("losetup", {"-d", device}));
        attached = false;
        QVERIFY(watcher->wait(5000));
        QVERIFY2(watcher->eventType() == 2 || watcher->eventType() == 3,
                 qPrintable(QString::number(watcher->eventType())));
        watcher->acknowledge();
        QVERIFY(listWatcher->wait(5000));
        QCOMPARE(listWatcher->eventType(), 3u);

        for (const DriveEntry &e : backend->drives())
            QVERIFY2(e.path != path, "a detached loop device is still listed");
    }

private:
    // The Partitions tab of the report shows what sfdisk reads from the device;
    // a snapshot with images, replayed by the simulator, gives the same report
    // for every drive it holds.
    void reportMatchesSfdiskAndSnapshot(const QString &device, const QString &path)
    {
        Backend::install(Linux::createBackend());
        const QMap<QString, QJsonObject> live = reportByPath({"--all"});
        QVERIFY(live.contains(path));
        QString json;
        QVERIFY(run("sfdisk", {"--json", device}, &json));
        const QJsonArray expected = QJsonDocument::fromJson(json.toUtf8())["partitiontable"]["partitions"].toArray();
        const auto shown = partitionRows(live[path]);
        QCOMPARE(shown.size(), expected.size());
        for (int i = 0; i < shown.size(); ++i) {
            QCOMPARE(shown[i]["START"], QString::number(expected[i]["start"].toInteger()));
            QCOMPARE(shown[i]["SIZE"], QString::number(expected[i]["size"].toInteger()));
            QCOMPARE(shown[i]["NAME"], expected[i]["name"].toString());
            QCOMPARE(shown[i]["PART ID"], expected[i]["uuid"].toString().toUpper());
        }

        QTemporaryDir dir;
        const QString file = dir.filePath("machine.json");
        QString out, err;
        QTextStream o(&out), e(&err);
        QCOMPARE(Applications::DriveScope::runReport({"--snapshot", file, "--with-images"}, o, e), 0);
        Backend::install(Sim::createBackend(file));
        const QMap<QString, QJsonObject> replayed = reportByPath({"--all"});
        Backend::install(Linux::createBackend());
        QVERIFY(replayed.contains(path));
        for (auto it = replayed.cbegin(); it != replayed.cend(); ++it)
            QVERIFY2(it.value() == live.value(it.key()), qPrintable(it.key()));
    }

private slots:
    void readBudget()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to attach a loop device");
        const QString missing = TestSupport::missingTool(
            {"sfdisk", "losetup", "blkid", "mkfs.ext4", "mkfs.vfat", "mkfs.btrfs", "mkfs.xfs"});
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing + " is not installed"));
        QTemporaryDir dir;
        // XFS and btrfs below their usual minimum sizes: the test settings of their tools allow it.
        const QString error = TestSupport::runScript(dir.path(), R"(
truncate -s 72M disk.img
printf 'label: gpt\nstart=2048, size=32768\nsize=32768\nsize=32768\nsize=32768\n' | sfdisk -q disk.img
put() { dd if=p of=disk.img bs=512 seek=$1 conv=notrunc,sparse status=none; rm -f p; }
truncate -s 16M p; mkfs.ext4 -q -F -L ext4fs p; put 2048
mkfs.vfat -n FATFS -C p 16384 >/dev/null; put 34816
truncate -s 16M p; mkfs.btrfs -q -f -M -L btrfsfs p >/dev/null 2>&1; put 67584
truncate -s 16M p; TEST_DIR=1 TEST_DEV=1 QA_CHECK_FS=1 mkfs.xfs -q -f -L xfsfs p; put 100352)");
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QString device;
        if (!run("losetup", {"-f", "--show", dir.filePath("disk.img")}, &device) || !device.startsWith("/dev/loop"))
            QSKIP("losetup cannot attach a loop device here");
        auto detach = qScopeGuard([&] { run("losetup", {"-d", device}); });
        const QString path = "/devices/block/" + device.mid(5);

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
            QCOMPARE(shown[i]["FILE SYSTEM TYPE"],
                     FilesysNames::FSTypeToName(FilesysNames::typeFromProbe(fs.value("TYPE"), fs.value("VERSION"))));
            QCOMPARE(shown[i]["VOLUME NAME"], fs.value("LABEL"));
            QCOMPARE(shown[i]["VOLUME ID"], fs.value("UUID"));
        }
    }

    // A loop device knows none of the commands: every transport answers "not
    // this kind of device" and nothing breaks.
    void commandsToLoopDevice()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to attach a loop device");
        QTemporaryDir dir;
        QFile image(dir.path() + "/small.img");
        QVERIFY(image.open(QIODevice::WriteOnly) && image.resize(1024 * 1024));
        image.close();
        QString device;
        if (!run("losetup", {"-f", "--show", image.fileName()}, &device) || !device.startsWith("/dev/loop"))
            QSKIP("losetup cannot attach a loop device here");
        auto detach = qScopeGuard([&] { run("losetup", {"-d", device}); });

        const Linux::Reader reader;
        // Each command under the class that allows it, so the kernel answers.
        const QString name = device.mid(5);
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

    // A drive the user may not open still reports its size from sysfs; its
    // blocks are refused as a matter of rights, and the notice says so.
    void deniedDriveKeepsGeometry()
    {
        auto backend = Linux::createBackend();
        const Linux::Reader reader;
        for (const DriveEntry &e : backend->drives()) {
            const QString name = e.path.section('/', -1);
            Linux::RawDevice raw(reader, {name, "/block/" + name, true}, Linux::Allowlist::DeviceClass::Plain);
            if (raw.isOpen() || raw.openFailure() != Linux::Failure::NoRights)
                continue;
            const auto provider = backend->provider(backend->open(e.path), 0);
            const auto storage = backend->storage(provider);
            QVERIFY(storage);
            const quint64 sectors = reader.number("/block/" + name + "/size").value_or(0);
            QCOMPARE(storage->blockSize() * storage->blockCount(), sectors * 512);
            QByteArray block(int(storage->blockSize()), '\0');
            QVERIFY(!storage->read(0, 1, block.data()));
            QVERIFY(backend->lockable(provider)->lock());
            QVERIFY(!backend->errors().isEmpty());
            return;
        }
        QSKIP("every drive here can be opened");
    }
};

QTEST_GUILESS_MAIN(TestLoopDevice)
#include "tst_loopdevice.moc"
